#include "sim/engine/SimLog.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "sim/engine/Posix.h"

namespace panora::sim {

bool SimLog::Open(const std::string& path, std::uint64_t maxBytes, std::string& error) {
  Close();
  m_file = std::fopen(path.c_str(), "ae");
  if (!m_file) {
    error = ErrnoText("cannot open log " + path);
    return false;
  }
  m_path = path;
  m_max = maxBytes;
  struct stat st {};
  m_size = ::fstat(::fileno(m_file), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  return true;
}

void SimLog::Close() {
  if (m_file) std::fclose(m_file);
  m_file = nullptr;
  m_path.clear();
}

void SimLog::Line(const std::string& text) {
  // m_path is set before any serving thread starts and cleared after they
  // are joined; m_file changes under the lock when the log rotates.
  if (m_path.empty()) return;
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
  char msPart[8];
  std::snprintf(msPart, sizeof msPart, ".%03dZ ", static_cast<int>(ms));
  const std::string line = std::string(stamp) + msPart + text + "\n";
  std::lock_guard lock(m_mutex);
  if (m_max > 0 && m_size > 0 && m_size + line.size() > m_max) Rotate();
  if (!m_file) return;
  std::fputs(line.c_str(), m_file);
  std::fflush(m_file);
  m_size += line.size();
}

void SimLog::Rotate() {
  std::fclose(m_file);
  const bool moved = ::rename(m_path.c_str(), (m_path + ".1").c_str()) == 0;
  // Where the old log cannot be moved aside, starting it afresh still keeps the cap.
  m_file = std::fopen(m_path.c_str(), moved ? "ae" : "we");
  m_size = 0;
}

}  // namespace panora::sim
