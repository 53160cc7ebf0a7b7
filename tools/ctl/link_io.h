// The byte link of panora-ctl: a TCP connection or a serial port, and the
// wait for one answer frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace panora::ctl {

// Connects within timeoutMs; returns the socket or -1 with the reason.
int ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& error);

class Link {
 public:
  Link(int fd, bool isSocket);
  // A serial port through the program's own serial transport (115200 8N1).
  static std::unique_ptr<Link> OpenSerial(const std::string& device, std::string& error);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  bool Send(const std::uint8_t* data, std::size_t count, std::string& error);

  enum class Wait { Frame, TimedOut, Closed, Failed };
  // Reads until an answer arrives or timeoutMs passes. An answer is a whole
  // frame, or what the program would take as the answer to the noted
  // command (ParseReply) although it is no clean frame: a wrong checksum or
  // trailer, a length field read the program's way. For the latter, faults
  // lists what is wrong with it. Bytes that are no frame are described in
  // skipped ("13 bytes garbage; ...").
  Wait WaitAnswer(int timeoutMs, int noted, std::vector<std::uint8_t>& answer,
                  std::vector<std::string>& faults, std::string& skipped, std::string& error);

 private:
  Link();
  // Bytes read (> 0), 0 when the link has closed, -1 on failure, -2 when
  // nothing came within timeoutMs.
  long Read(std::uint8_t* buf, std::size_t size, int timeoutMs, std::string& error);

  struct Serial;
  int m_fd = -1;
  bool m_isSocket = false;
  std::unique_ptr<Serial> m_serial;
};

// Why WaitAnswer found no answer ("no answer within 1000 ms", "the link
// closed before an answer came", ...), with the bytes it skipped.
std::string NoAnswerText(Link::Wait wait, int timeoutMs, const std::string& error,
                         const std::string& skipped);
// "the answer is no clean frame: ... (taken, as the program would)".
std::string TakenAnswerText(const std::string& fault);

std::string Hex(const std::vector<std::uint8_t>& bytes);
// What keeps bytes from being one clean frame ("its checksum is 0x31, not
// 0x32", ...); empty for a clean frame.
std::vector<std::string> FrameFaults(const std::vector<std::uint8_t>& bytes);

}  // namespace panora::ctl
