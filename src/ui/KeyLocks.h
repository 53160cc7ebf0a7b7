// The states of Caps Lock, Num Lock and Scroll Lock, for the status bar's
// indicators. Read from the X keyboard extension when the program runs on X11;
// elsewhere the indicators stay off.
#pragma once

namespace panora {

struct KeyLockState {
  bool caps = false;
  bool num = false;
  bool scroll = false;
  bool operator==(const KeyLockState&) const = default;
};

// False when the states cannot be read on this platform.
bool QueryKeyLocks(KeyLockState& state);

}  // namespace panora
