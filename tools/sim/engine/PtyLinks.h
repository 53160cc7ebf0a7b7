// Where a simulator's pty link lies and how the links of simulators that are
// gone are cleared away. The links are "panora-sim-<pid>.tty" symlinks into
// /dev/pts. Free functions without state: any thread.
#pragma once

#include <sys/types.h>

#include <string>

namespace panora::sim {

// Where a simulator that names its pty link by process id puts it:
// $XDG_RUNTIME_DIR when writable, else /tmp.
std::string PtyLinkDir();
// dir + "/panora-sim-<pid>.tty".
std::string PtyLinkPath(const std::string& dir, pid_t pid);
// Removes the links of that form in dir that simulators which are gone left
// behind: only symlinks owned by this user that lead into /dev/pts, where the
// device no longer exists or is not held by the process the name gives.
// Returns how many were removed.
int RemoveStalePtyLinks(const std::string& dir);

}  // namespace panora::sim
