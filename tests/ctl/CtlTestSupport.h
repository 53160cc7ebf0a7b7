// What the panora-ctl tests share: running the tool, loopback peers.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sim/SimProcess.h"

namespace panora::test {


inline RunResult Ctl(std::vector<std::string> args) {
  args.insert(args.begin(), BinPath("panora-ctl"));
  return RunProgram(args);
}

// A listening socket on a free port that nobody serves.
struct Listener {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port = 0;
  Listener() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 4);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
  }
  ~Listener() { ::close(fd); }
};

// Serves one connection: reads the request, answers with the given bytes
// and stays until the client leaves.
class FakeProcessor {
 public:
  explicit FakeProcessor(std::vector<std::uint8_t> answer)
      : m_thread([this, answer = std::move(answer)] {
          const int fd = ::accept(m_listener.fd, nullptr, nullptr);
          if (fd < 0) return;
          std::uint8_t buf[2048];
          if (::recv(fd, buf, sizeof buf, 0) > 0) ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
          while (::recv(fd, buf, sizeof buf, 0) > 0) {
          }
          ::close(fd);
        }) {}
  ~FakeProcessor() {
    ::shutdown(m_listener.fd, SHUT_RDWR);
    m_thread.join();
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(m_listener.port); }

 private:
  Listener m_listener;
  std::thread m_thread;
};

// Each argument list is a usage error: status 2, nothing on stdout, the
// usage on stderr.
inline void ExpectUsageErrors(const std::vector<std::vector<std::string>>& cases) {
  for (const auto& args : cases) {
    const auto r = Ctl(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(r.out, "") << joined;
    EXPECT_NE(r.err.find("usage: panora-ctl"), std::string::npos) << joined << r.err;
  }
}

inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

}  // namespace panora::test
