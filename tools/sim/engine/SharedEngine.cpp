#include "sim/engine/SharedEngine.h"

#include <unistd.h>

#include <cstdio>

#include "sim/engine/Posix.h"
#include "sim/engine/SimLog.h"

namespace panora::sim {

SharedEngine::SharedEngine(EngineOptions options, std::string statePath, SimLog& log)
    : m_engine(options), m_statePath(std::move(statePath)), m_log(log) {}

Outcome SharedEngine::Process(const std::vector<std::uint8_t>& frame) {
  std::lock_guard lock(m_mutex);
  Outcome outcome = m_engine.Process(frame);
  if (outcome.changed) WriteLocked();
  return outcome;
}

State SharedEngine::GetState() const {
  std::lock_guard lock(m_mutex);
  return m_engine.GetState();
}

std::string SharedEngine::StateJson() const {
  std::lock_guard lock(m_mutex);
  return m_engine.StateJson();
}

void SharedEngine::WriteStateFile() {
  std::lock_guard lock(m_mutex);
  WriteLocked();
}

void SharedEngine::WriteLocked() {
  if (m_statePath.empty()) return;
  const std::string tmp = m_statePath + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "we");
  if (!f) {
    m_log.Line(ErrnoText("cannot write " + tmp));
    return;
  }
  const std::string json = m_engine.StateJson() + "\n";
  const bool ok = std::fwrite(json.data(), 1, json.size(), f) == json.size();
  if (std::fclose(f) != 0 || !ok || ::rename(tmp.c_str(), m_statePath.c_str()) != 0) {
    m_log.Line(ErrnoText("cannot write " + m_statePath));
    ::unlink(tmp.c_str());
  }
}

}  // namespace panora::sim
