// Serves the simulated processor on a TCP port and/or a pseudo-terminal.
// The serving itself lives here: the listening socket, the accepting thread
// ("sim-accept"), one thread per TCP client ("sim-client", up to maxClients at
// once; more are closed at once), the pty's thread (PtyLine.h, "sim-pty"),
// the stop signal every one of them waits on, and Stop, which joins them all.
// What each connection does with its bytes is Session.h's; all connections
// share one Engine behind a mutex (SharedEngine.h), so a set-up made by one
// client is seen by every other, and each answer goes to the client that asked.
// Threads: Start, Stop and the destructor from the owner's thread (Stop may
// be called twice); the getters from any thread.
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/engine/Engine.h"
#include "sim/engine/PtyLinks.h"
#include "sim/engine/ServerOptions.h"

namespace panora::sim {

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
  struct Parts;  // what the serving threads share, and the pty
  struct Client;

  bool Listen(std::string& error);
  void CloseAll();
  void AcceptLoop();
  void ServeClient(int fd, const std::string& name);
  void JoinClients(bool all);

  const ServerOptions m_opt;
  const std::unique_ptr<Parts> m_parts;
  int m_listenFd = -1;
  int m_tcpPort = 0;
  std::thread m_tcpThread;
  std::mutex m_clientsMutex;  // guards m_clients
  std::list<std::unique_ptr<Client>> m_clients;
  std::thread m_ptyThread;
  std::mutex m_stopMutex;
  bool m_started = false;
};

}  // namespace panora::sim
