// Runs part of a test in a forked child that holds no privileges: as
// "nobody" when the test runs as root (whom file permissions do not stop),
// as the test's own user otherwise. The child's result comes back as text;
// nullopt when privileges could not be dropped, and the caller skips.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>

namespace vexo::testing {

inline bool DropPrivileges() {
  if (geteuid() != 0) return true;
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return false;
  return setgroups(0, nullptr) == 0 &&
         setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) == 0 &&
         setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) == 0 && geteuid() != 0;
}

inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body) {
  constexpr int kCannotDrop = 77;
  int channel[2];
  if (pipe(channel) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    close(channel[0]);
    if (!DropPrivileges()) _exit(kCannotDrop);
    const std::string result = body();
    for (std::size_t done = 0; done < result.size();) {
      const ssize_t put = write(channel[1], result.data() + done, result.size() - done);
      if (put <= 0) _exit(1);
      done += static_cast<std::size_t>(put);
    }
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) result.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotDrop) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "the unprivileged child failed (status " + std::to_string(status) + ")";
  }
  return result;
}

}  // namespace vexo::testing
