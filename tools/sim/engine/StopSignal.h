// How a server tells its serving threads to end: a flag, and a pipe whose
// read end every poll and every pause of theirs also waits on. Raise writes
// one byte that is never drained, so every later poll wakes at once too.
// Threads: Open and Close by the server while no serving thread runs; Raise
// from the stopping thread; Raised, Fd and Pause from any thread.
#pragma once

#include <atomic>
#include <string>

namespace panora::sim {

class StopSignal {
 public:
  StopSignal() = default;
  ~StopSignal() { Close(); }
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // A fresh pipe, not raised. On failure returns false with the reason in error.
  bool Open(std::string& error);
  void Raise();
  void Close();

  bool Raised() const { return m_raised; }
  int Fd() const { return m_pipe[0]; }  // readable once raised
  // Waits ms milliseconds; false when the signal is (or becomes) raised.
  bool Pause(int ms) const;

 private:
  std::atomic<bool> m_raised{false};
  int m_pipe[2] = {-1, -1};
};

}  // namespace panora::sim
