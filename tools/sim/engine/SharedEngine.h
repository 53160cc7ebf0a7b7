// The one Engine that every connection of a server talks to, so that a
// set-up made by one client is seen by every other, and the state file
// (JSON, written by temp file and rename) that follows each change.
// Threads: any; every call takes the engine's lock, and the state file is
// written under it, so writers never interleave.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/engine/Engine.h"

namespace panora::sim {

class SimLog;

class SharedEngine {
 public:
  // statePath empty: no state file. A file that cannot be written is logged.
  SharedEngine(EngineOptions options, std::string statePath, SimLog& log);

  // Engine::Process on a whole frame; the state file is rewritten when the
  // state changed.
  Outcome Process(const std::vector<std::uint8_t>& frame);
  State GetState() const;
  std::string StateJson() const;
  // Writes the state file as the state is now (the server's start).
  void WriteStateFile();

 private:
  void WriteLocked();

  mutable std::mutex m_mutex;  // guards m_engine and the state file
  Engine m_engine;
  const std::string m_statePath;
  SimLog& m_log;
};

}  // namespace panora::sim
