// `panora-ctl profile ...`: inspect, convert and repair profile files.
#pragma once

#include <string>

#include "model/Profile.h"

// argc/argv start after the word "profile". Returns the exit status.
int RunProfileCommand(int argc, char** argv);

// The JSON reading of `profile load`: all or nothing, `into` untouched and
// `error` set when the text is not a whole profile. Ranges are checked as the
// file format needs them; out-of-range record values are kept (see Validate).
bool ProfileFromJsonText(const std::string& text, panora::CProfile& into, std::string& error);
// "FILE: why (byte offset N)" for a profile that does not read.
std::string DescribeProfileError(const std::string& path, const panora::ProfileError& e);
// The JSON `profile dump` prints (no final newline).
std::string ProfileToJsonText(const panora::CProfile& p);
