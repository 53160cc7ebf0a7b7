// Every command the program sends, as data: the simulator and the
// command-line tool read this table instead of hard-coding the protocol.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace panora {

struct CommandInfo {
  std::uint8_t command;
  std::uint8_t subFirst;  // sub-code range, inclusive
  std::uint8_t subLast;
  int payloadLength;
  bool busyCheck;  // sender refuses while a worker batch runs
  bool noted;      // sender records it for the reply parser
  std::string_view description;
  std::string_view name;  // short, for a log line: "window geometry"
};

std::span<const CommandInfo> CommandCatalogue();

// The row for a command and sub-code, or nullptr when none matches.
const CommandInfo* FindCommand(std::uint8_t command, std::uint8_t subCode);

}  // namespace panora
