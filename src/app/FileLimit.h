// How many files the program may have open at once, checked before anything
// starts: Qt aborts or hangs when its own descriptors cannot be made (the
// display connection, the wake-ups of its event loops, plug-ins), so a limit
// too low for the program is refused with a message instead.
#pragma once

#include <string>

namespace panora {

// Descriptors the program asks for at start-up, with room to spare. A run
// with its simulator, a serial port and a network link holds about 30.
inline constexpr int kDescriptorsNeeded = 64;

// Makes sure `needed` more descriptors can be opened now, raising the soft
// limit towards the hard one when that is what stands in the way. False,
// with the reason in `why`, when they cannot.
bool EnsureDescriptors(int needed, std::string& why);

}  // namespace panora
