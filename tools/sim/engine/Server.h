// Serves the simulated processor on a TCP port and/or a pseudo-terminal.
// TCP: an accepting thread and one thread per client (up to maxClients at
// once, each with its own frame parser); the pty: one thread for whoever has
// the line open. All share one Engine behind a mutex, so a set-up made by one
// client is seen by every other, and each answer goes to the client that asked.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <list>
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
  int dropAfter = 0;   // > 0: close the connection after this many frames
  int floodBps = 0;    // > 0: after a connection's first answer, repeat it at this many bytes a second
  int floodMs = 3000;  // for this long

  int maxClients = 8;                    // TCP clients served at once; more are turned away
  int partialTimeoutMs = 200;            // silence after which a partial frame is dropped
  std::uint64_t logMaxBytes = 10000000;  // the log rotates once to "<log>.1" at this size; 0: no cap
};

// Where a simulator that names its pty link by process id puts it:
// $XDG_RUNTIME_DIR when writable, else /tmp.
std::string PtyLinkDir();
// dir + "/panora-sim-<pid>.tty".
std::string PtyLinkPath(const std::string& dir, pid_t pid);
// Removes the links of that form in dir that simulators which are gone left
// behind: only symlinks owned by this user that lead into /dev/pts, where the
// device no longer exists or is not held by the process the name gives.
// Returns how many were removed.
int RemoveStalePtyLinks(const std::string& dir);

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
  struct Client;
  class Log;

  bool OpenPty(std::string& error);
  void AcceptLoop();
  void ServeClient(int fd, const std::string& name);
  void PtyLoop();
  // Handles received bytes; returns false when the connection is to be dropped.
  bool OnBytes(Peer& peer, const std::uint8_t* data, std::size_t count);
  // The line stayed silent with part of a frame held back: gives that frame
  // up (logged) and takes any frame that began inside it. Same result as OnBytes.
  bool OnSilence(Peer& peer);
  void LogSkip(Peer& peer, const std::string& reason, const std::vector<std::uint8_t>& bytes);
  void JoinClients(bool all);
  void Answer(Peer& peer, const std::vector<std::uint8_t>& answer);
  bool WriteAll(Peer& peer, const std::uint8_t* data, std::size_t count);
  void Flood(Peer& peer, const std::vector<std::uint8_t>& answer);
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
  int m_ownFd = -1;    // the pty's slave, held open by us
  int m_watchFd = -1;  // inotify on the slave's opens and closes, or -1
  std::string m_slaveName;
  bool m_symlinkMade = false;
  int m_wake[2] = {-1, -1};  // a byte here wakes every poll on Stop
  std::atomic<bool> m_stopping{false};
  std::thread m_tcpThread;
  std::mutex m_clientsMutex;  // guards m_clients
  std::list<std::unique_ptr<Client>> m_clients;
  std::thread m_ptyThread;
  std::mutex m_stopMutex;
  bool m_started = false;
};

}  // namespace panora::sim
