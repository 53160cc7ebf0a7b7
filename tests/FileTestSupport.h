// Helpers for tests of the file readers and writers: permission cases run as
// an unprivileged user, and a guard against a call that blocks for good.
#pragma once

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace panora::test {

enum class AsUser { Passed, Failed, Skipped };

// Runs `check` as a user without privileges: in this process when the tests
// do not run as root, else in a forked child that becomes "nobody" (CI runs
// as root, and root may write everything). Skipped when that is impossible.
// `check` must not use gtest assertions (a child's would be lost).
inline AsUser AsUnprivileged(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check() ? AsUser::Passed : AsUser::Failed;
  const pid_t child = ::fork();
  if (child < 0) return AsUser::Skipped;
  if (child == 0) {
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(dropped ? (check() ? 0 : 1) : 2);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return AsUser::Failed;
  return WEXITSTATUS(status) == 0   ? AsUser::Passed
         : WEXITSTATUS(status) == 2 ? AsUser::Skipped
                                    : AsUser::Failed;
}

// Kills the test program when a call does not return in time (a reader
// waiting on a FIFO), so that the fault fails the test instead of hanging it.
class Deadline {
 public:
  explicit Deadline(unsigned seconds) { ::alarm(seconds); }
  ~Deadline() { ::alarm(0); }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
};

}  // namespace panora::test

// Use: RUN_AS_UNPRIVILEGED([&] { return ...; });
#define RUN_AS_UNPRIVILEGED(...)                                                             \
  do {                                                                                       \
    const ::panora::test::AsUser outcome_ = ::panora::test::AsUnprivileged(__VA_ARGS__);     \
    if (outcome_ == ::panora::test::AsUser::Skipped) GTEST_SKIP() << "cannot become nobody"; \
    EXPECT_EQ(outcome_, ::panora::test::AsUser::Passed);                                     \
  } while (0)
