// The byte link of panora-ctl: a TCP connection or a serial port, and the
// wait for one answer frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace panora::ctl {

// Connects within timeoutMs; returns the socket or -1 with the reason.
int ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& error);

class Link {
 public:
  Link(int fd, bool isSocket) : m_fd(fd), m_isSocket(isSocket) {}
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  bool Send(const std::uint8_t* data, std::size_t count, std::string& error);

  enum class Wait { Frame, TimedOut, Closed, Failed };
  // Reads until a whole frame arrives or timeoutMs passes. Bytes that are no
  // frame are described in skipped ("13 bytes garbage; ...").
  Wait WaitFrame(int timeoutMs, std::vector<std::uint8_t>& frame, std::string& skipped, std::string& error);

 private:
  int m_fd;
  bool m_isSocket;
};

std::string Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace panora::ctl
