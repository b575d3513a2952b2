#pragma once
// Runs a check as an ordinary user: permission bits mean nothing to root, so
// a test run as root (as CI runs) does its permission checks as "nobody".

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace kelvo::testing {

inline constexpr uid_t kNobody = 65534;

// The user the permission checks run as: nobody when running as root.
inline bool RunningAsRoot() {
  return ::geteuid() == 0;
}

// Makes `path` belong to the user that RunUnprivileged runs as.
inline void GiveToUnprivileged(const std::string& path) {
  if (RunningAsRoot()) {
    [[maybe_unused]] const int rc = ::chown(path.c_str(), kNobody, kNobody);
  }
}

// Runs `check` in a child process, as nobody when running as root, and
// returns what it returned (false also when the child died).
inline bool RunUnprivileged(const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (RunningAsRoot() &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kelvo::testing
