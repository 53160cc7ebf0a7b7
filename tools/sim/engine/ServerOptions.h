// What a simulator serves on and how it misbehaves: the settings panora-sim
// takes from its command line and a program embedding the Server fills in.
// Plain data, read by every serving thread and never changed while they run.
#pragma once

#include <cstdint>
#include <string>

#include "sim/engine/Engine.h"

namespace panora::sim {

struct ServerOptions {
  bool useTcp = true;
  std::string tcpHost = "127.0.0.1";
  int tcpPort = 4001;     // 0: the system picks a free port (see TcpPort)
  std::string ptyPath;    // non-empty: open a pty and put a symlink here
  std::string logPath;    // non-empty: a line per frame received and sent
  std::string statePath;  // non-empty: the state as JSON after each change
  EngineOptions engine;

  // Faults, each for a test.
  bool silent = false;   // never answer
  int delayMs = 0;       // wait this long before each answer
  bool garbage = false;  // answer with random bytes (never a frame start)
  bool split = false;    // send each answer in two pieces
  int splitPauseMs = 20;
  int dropAfter = 0;   // > 0: close the connection after this many frames
  int floodBps = 0;    // > 0: after a connection's first answer, repeat it at this many bytes a second
  int floodMs = 3000;  // for this long

  int maxClients = 8;                    // TCP clients served at once; more are turned away
  int partialTimeoutMs = 200;            // silence after which a partial frame is dropped
  std::uint64_t logMaxBytes = 10000000;  // the log rotates once to "<log>.1" at this size; 0: no cap
};

}  // namespace panora::sim
