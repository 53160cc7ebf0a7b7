// Taking a transport's mutex with a bound, for senders that must not wait
// out another sender's wait for room.
#pragma once

#include <chrono>
#include <mutex>

namespace panora {

// Tries to lock until the steady deadline. Waits through the system clock's
// timed lock: the monotonic one is not known to every thread checker, and a
// clock step can only lengthen or shorten one bounded wait.
inline bool LockBy(std::unique_lock<std::timed_mutex>& lock, std::chrono::steady_clock::time_point deadline) {
  if (lock.try_lock()) return true;
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return false;
  return lock.try_lock_until(std::chrono::system_clock::now() +
                             std::chrono::duration_cast<std::chrono::system_clock::duration>(left));
}

}  // namespace panora
