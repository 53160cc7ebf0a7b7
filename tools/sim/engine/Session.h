// One connection's frame handling: what a client sends goes through its own
// FrameDecoder; each frame is logged, applied to the shared Engine (and so to
// the state file) and answered on the connection, with the faults the
// options ask for (silent, delay, garbage, split, drop-after, flood). Skipped
// bytes are logged once each, and part of a frame left hanging by a silent
// line is given up (partialTimeoutMs). Reading the connection is the
// caller's: a TCP client's thread or the pty's thread feeds OnBytes and calls
// OnSilence when its wait of WaitMs() ran out.
// Threads: a Session belongs to the one thread that reads its connection;
// the context it refers to is shared by all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "link/FrameDecoder.h"

namespace panora::sim {

struct ServerOptions;
class SharedEngine;
class SimLog;
class StopSignal;

// What one server's connections share; owned by the Server and outliving
// every connection.
struct ServingContext {
  const ServerOptions& options;
  SimLog& log;
  SharedEngine& engine;
  const StopSignal& stop;
};

class Session {
 public:
  // fd: where the answers go (a socket when isSocket, else the pty's master).
  Session(const ServingContext& context, int fd, bool isSocket, std::string name);

  const std::string& Name() const { return m_name; }
  // How long the reader may wait for more bytes: partialTimeoutMs while part
  // of a frame is held back, else -1 (no limit).
  int WaitMs() const;
  // Handles received bytes; false when the connection is to be dropped.
  bool OnBytes(const std::uint8_t* data, std::size_t count);
  // The line stayed silent with part of a frame held back: gives that frame
  // up (logged) and takes any frame that began inside it. Same result as OnBytes.
  bool OnSilence();
  // The connection ended: logs what the decoder still holds as skipped.
  void FlushSkips();
  // A new client on the line (the pty after a hang-up or a drop): forgets
  // the bytes held and the frames counted; answers go to fd from now on.
  void Reset(int fd);

 private:
  void LogSkip(const std::string& reason, const std::vector<std::uint8_t>& bytes);
  void Answer(const std::vector<std::uint8_t>& answer);
  void Flood(const std::vector<std::uint8_t>& answer);
  bool WriteAll(const std::uint8_t* data, std::size_t count);

  const ServingContext& m_ctx;
  int m_fd;
  const bool m_isSocket;
  const std::string m_name;
  FrameDecoder m_decoder;
  int m_frames = 0;
  // Bytes of a rejected candidate frame already shown in the log, which the
  // decoder scans again and reports as skipped once more.
  std::size_t m_shown = 0;
  std::mt19937 m_rng{std::random_device{}()};
};

}  // namespace panora::sim
