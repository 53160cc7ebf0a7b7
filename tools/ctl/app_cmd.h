// `panora-ctl --app ADDR COMMAND ...`: the running program's remote control
// (its HTTP API and event stream) from a shell.
#pragma once

#include <string>
#include <vector>

namespace panora::ctl {

// The commands this takes, for main's dispatch.
bool IsAppCommand(const std::string& command);

// Runs one command against the program at address (HOST:PORT or PORT).
// timeoutMs bounds the wait for each answer. Returns the exit status; bad
// arguments come back as 2 with the reason in usageError, for main's usage.
int RunAppCommand(const std::string& address, int timeoutMs, const std::string& command,
                  const std::vector<std::string>& args, std::string& usageError);

}  // namespace panora::ctl
