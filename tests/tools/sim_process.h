// vexo-radio-sim as a child process of a test. SimProcess starts it with the
// given options plus a report file in a private temporary folder, reads the
// pseudo-terminal's path from its first line of output, and stops it with
// SIGTERM (SIGKILL when it does not end in time), returning its exit status,
// standard error and parsed report. Every wait is bounded; the destructor
// kills and reaps a simulator still running and removes the folder. The
// program is $VEXO_BIN_DIR/vexo-radio-sim. One test thread per object.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/radio_sim/report.h"

extern char** environ;

namespace vexo::testing {

inline std::string ProgramPath(const std::string& name) {
  const char* dir = std::getenv("VEXO_BIN_DIR");
  return (dir && *dir ? std::string(dir) : std::string("bin")) + "/" + name;
}

inline std::string SimProgramPath() {
  return ProgramPath("vexo-radio-sim");
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// How a child process ended.
struct ProcessEnd {
  bool exited = false;  // returned from main (exit_code) rather than killed
  int exit_code = -1;
  int signal = 0;  // the signal that ended it, when not exited
};

// A child process with bounded waits: spawned with the signal mask and
// dispositions reset, standard output to a pipe (or a file), standard error
// to a file. Killed and reaped by the destructor if still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0 && !end_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_fd_ >= 0) close(stdout_fd_);
  }

  // Starts program with args; stdout to a pipe unless stdout_file is given.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& stderr_file, const std::string& stdout_file, std::string& error) {
    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipe_fds[2] = {-1, -1};
    if (stdout_file.empty() && pipe2(pipe_fds, O_CLOEXEC) != 0) {
      error = "no pipe";
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdout_file.empty()) {
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_file.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t reset;
    sigemptyset(&none);
    sigemptyset(&reset);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&reset, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &reset);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    int failed = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (stdout_file.empty()) {
      close(pipe_fds[1]);
      stdout_fd_ = pipe_fds[0];
    }
    if (failed != 0) {
      pid_ = -1;
      error = "cannot start " + program + ": " + std::strerror(failed);
      return false;
    }
    return true;
  }

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // The first line of standard output, waiting at most limit for it.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd waiter{stdout_fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&waiter, 1, static_cast<int>(left.count())) <= 0) {
        return std::nullopt;
      }
      char c = 0;
      if (read(stdout_fd_, &c, 1) != 1) return std::nullopt;  // closed: it ended
      if (c == '\n') return line;
      line += c;
    }
  }

  // Reaps the process if it has ended within limit.
  std::optional<ProcessEnd> WaitForEnd(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!end_) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        ProcessEnd e;
        e.exited = WIFEXITED(status);
        e.exit_code = e.exited ? WEXITSTATUS(status) : -1;
        e.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        end_ = e;
      } else if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    return end_;
  }

  // Sends signal, waits up to limit, then kills it outright.
  ProcessEnd Stop(int signal, std::chrono::milliseconds limit) {
    if (!started()) return {};
    if (!end_) kill(pid_, signal);
    if (!WaitForEnd(limit)) {
      kill(pid_, SIGKILL);
      WaitForEnd(std::chrono::seconds(10));
    }
    return end_.value_or(ProcessEnd{});
  }

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::optional<ProcessEnd> end_;
};

// A folder of its own under the system's temporary folder, removed with it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-sim-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// What a stopped simulator left.
struct SimResult {
  ProcessEnd end;
  std::string error_output;  // its standard error
  std::string report_json;   // empty when it wrote none
  std::optional<sim::ParsedReport> report;
};

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args = {},
                      std::chrono::milliseconds start_limit = std::chrono::seconds(10)) {
    if (!dir_.ok()) {
      error_ = "no temporary folder";
      return;
    }
    args.push_back("--report");
    args.push_back(dir_.File("report.json"));
    if (!child_.Start(SimProgramPath(), args, dir_.File("stderr.txt"), {}, error_)) return;
    std::optional<std::string> line = child_.ReadLine(start_limit);
    if (!line || line->empty()) {
      error_ = "the simulator printed no device path; it said: " +
               ReadWholeFile(dir_.File("stderr.txt"));
      return;
    }
    pty_path_ = *line;
  }

  // Started and serving on pty_path().
  bool ok() const { return !pty_path_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& pty_path() const { return pty_path_; }
  pid_t pid() const { return child_.pid(); }
  // A path in the simulator's private folder, for files a test hands it.
  std::string File(const std::string& name) const { return dir_.File(name); }

  // What it has written on standard error so far (with --verbose, a line
  // per event, as the events happen).
  std::string ErrorOutput() const { return ReadWholeFile(dir_.File("stderr.txt")); }

  // Waits until its standard error holds text: with --verbose, a way to
  // know that the simulator has seen something happen on the line.
  bool WaitForErrorOutput(const std::string& text,
                          std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ErrorOutput().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  // Waits for the simulator to end by itself (--once, a hang-up).
  std::optional<SimResult> WaitForExit(std::chrono::milliseconds limit) {
    std::optional<ProcessEnd> end = child_.WaitForEnd(limit);
    if (!end) return std::nullopt;
    return Collect(*end);
  }

  // SIGTERM; SIGKILL when it has not ended within limit.
  SimResult Stop(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return Collect(child_.Stop(SIGTERM, limit));
  }

 private:
  SimResult Collect(const ProcessEnd& end) const {
    SimResult r;
    r.end = end;
    r.error_output = ReadWholeFile(dir_.File("stderr.txt"));
    r.report_json = ReadWholeFile(dir_.File("report.json"));
    if (!r.report_json.empty()) r.report = sim::ParseReport(r.report_json);
    return r;
  }

  ScratchDir dir_;  // outlives child_: declared first, destroyed last
  ChildProcess child_;
  std::string pty_path_;
  std::string error_;
};

// Runs a program to its end (for options that do not serve a line).
struct RunResult {
  ProcessEnd end;
  std::string output;        // standard output
  std::string error_output;  // standard error
};

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  ScratchDir dir;
  ChildProcess child;
  std::string error;
  RunResult r;
  if (!dir.ok() ||
      !child.Start(program, args, dir.File("stderr.txt"), dir.File("stdout.txt"), error)) {
    r.error_output = error;
    return r;
  }
  const std::optional<ProcessEnd> end = child.WaitForEnd(limit);
  r.end = end ? *end : child.Stop(SIGKILL, std::chrono::seconds(10));
  r.output = ReadWholeFile(dir.File("stdout.txt"));
  r.error_output = ReadWholeFile(dir.File("stderr.txt"));
  return r;
}

// Runs a program to its end in dir (where it finds its language file).
inline RunResult RunProgramIn(const std::string& dir, const std::string& program,
                              const std::vector<std::string>& args,
                              std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  std::string command = "cd '" + dir + "' && exec '" + program + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return RunProgram("/bin/sh", {"-c", command}, limit);
}

}  // namespace vexo::testing
