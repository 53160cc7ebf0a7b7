// The simulator's log: one line per event (frames received and sent, skips,
// faults, clients coming and going), each stamped with an ISO time in UTC to
// the millisecond. At the size cap the file moves to "<log>.1" (replacing an
// older one) and a new one starts, so a long run keeps at most twice the cap
// on disk. Threads: Open and Close before and after the serving threads run;
// Line from any thread, under the log's own lock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace panora::sim {

class SimLog {
 public:
  SimLog() = default;
  ~SimLog() { Close(); }
  SimLog(const SimLog&) = delete;
  SimLog& operator=(const SimLog&) = delete;

  // Appends to path (a log already open is closed first). On failure returns
  // false with the reason in error; the log then writes nothing.
  bool Open(const std::string& path, std::uint64_t maxBytes, std::string& error);
  // Ends the file; Line writes nothing until the next Open.
  void Close();
  void Line(const std::string& text);

 private:
  void Rotate();

  std::mutex m_mutex;
  std::FILE* m_file = nullptr;
  std::string m_path;  // empty while closed
  std::uint64_t m_max = 0;
  std::uint64_t m_size = 0;
};

}  // namespace panora::sim
