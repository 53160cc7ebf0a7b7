// Serves the simulated processor on a TCP port and/or a pseudo-terminal.
// One thread per listener; each serves one client at a time. Both share one
// Engine behind a mutex, so a set-up made over TCP is seen over the pty.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
  int dropAfter = 0;  // > 0: close the connection after this many frames
};

class Server {
 public:
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the listeners and starts the serving threads. On failure returns
  // false with the reason in error, and nothing is left running.
  bool Start(std::string& error);
  // Wakes and joins every thread, closes everything and removes the pty
  // symlink. Safe to call twice and from the destructor.
  void Stop();

  int TcpPort() const { return m_tcpPort; }
  std::string PtySlaveName() const;  // "/dev/pts/N", or empty
  State GetState() const;
  std::string StateJson() const;

 private:
  struct Peer;
  class Log;

  bool OpenPty(std::string& error);
  void TcpLoop();
  void PtyLoop();
  // Handles received bytes; returns false when the connection is to be dropped.
  bool OnBytes(Peer& peer, const std::uint8_t* data, std::size_t count);
  void Answer(Peer& peer, const std::vector<std::uint8_t>& answer);
  bool WriteAll(Peer& peer, const std::uint8_t* data, std::size_t count);
  bool Pause(int ms);  // false when stopping
  void WriteState();

  ServerOptions m_opt;
  mutable std::mutex m_engineMutex;  // guards m_engine and the state file
  Engine m_engine;
  std::unique_ptr<Log> m_log;

  int m_listenFd = -1;
  int m_tcpPort = 0;
  mutable std::mutex m_ptyMutex;  // guards m_slaveName (the pty may be reopened)
  int m_masterFd = -1;
  std::string m_slaveName;
  bool m_symlinkMade = false;
  int m_wake[2] = {-1, -1};  // a byte here wakes every poll on Stop
  std::atomic<bool> m_stopping{false};
  std::thread m_tcpThread;
  std::thread m_ptyThread;
  std::mutex m_stopMutex;
  bool m_started = false;
};

}  // namespace panora::sim
