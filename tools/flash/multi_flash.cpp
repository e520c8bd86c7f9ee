#include "tools/flash/multi_flash.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "link/clock.h"
#include "tools/flash/console_output.h"
#include "tools/flash/flash_options.h"
#include "tools/flash/progress_line.h"

extern char** environ;

namespace vexo {
namespace {

constexpr char kStatusOption[] = "--status-lines";
constexpr int kRedrawMs = 100;

struct Child {
  std::string port;
  pid_t pid = -1;
  int fd = -1;  // its standard error: status lines
  std::string pending;
  std::unique_ptr<ProgressLine> line;
  std::string last_message;
  std::int64_t started = 0;
  std::int64_t took = 0;
  int exit_code = kExitStopped;
};

bool Spawn(const MultiFlashSetup& setup, Child& child) {
  std::vector<std::string> text = {setup.program, kStatusOption, "--port", child.port};
  text.insert(text.end(), setup.common_args.begin(), setup.common_args.end());
  if (setup.log_path) {
    text.push_back("--log");
    text.push_back(PortLogPath(*setup.log_path, child.port));
  }
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  const int failed =
      posix_spawn(&child.pid, setup.program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (failed != 0) {
    close(fds[0]);
    child.pid = -1;
    child.last_message = "cannot start " + setup.program;
    return false;
  }
  child.fd = fds[0];
  return true;
}

class Screen {
 public:
  Screen(std::vector<Child>& children, bool terminal) : children_(children), terminal_(terminal) {}

  void Message(const Child& child, const std::string& text) {
    std::string lines;
    std::size_t from = 0;
    while (from <= text.size()) {
      std::size_t end = std::min(text.find('\n', from), text.size());
      lines += child.port + ": " + text.substr(from, end - from) + "\n";
      from = end + 1;
    }
    if (terminal_ && drawn_) std::fprintf(stderr, "\x1b[%zuA\x1b[J", children_.size());
    std::fputs(lines.c_str(), stderr);
    drawn_ = false;
    Draw(true);
  }

  void Draw(bool force) {
    if (!terminal_) return;
    const std::int64_t now = RealClock().NowMs();
    if (!force && now - last_ < kRedrawMs) return;
    last_ = now;
    if (drawn_) std::fprintf(stderr, "\x1b[%zuA", children_.size());
    for (Child& c : children_) {
      std::string text = c.port + "  " + (c.fd >= 0 ? c.line->Text() : Ending(c));
      std::fprintf(stderr, "\r\x1b[2K%s\n", text.c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
  }

  static std::string Ending(const Child& c) {
    return c.exit_code == kExitCompleted ? "completed" : "stopped";
  }

 private:
  std::vector<Child>& children_;
  bool terminal_;
  bool drawn_ = false;
  std::int64_t last_ = 0;
};

void Take(Child& child, Screen& screen) {
  char buffer[4096];
  const ssize_t n = read(child.fd, buffer, sizeof buffer);
  if (n <= 0) {
    close(child.fd);
    child.fd = -1;
    int status = 0;
    if (waitpid(child.pid, &status, 0) == child.pid && WIFEXITED(status)) {
      child.exit_code = WEXITSTATUS(status);
    }
    child.took = RealClock().NowMs() - child.started;
    screen.Draw(true);
    return;
  }
  child.pending.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = child.pending.find('\n')) != std::string::npos;) {
    const std::string line = child.pending.substr(0, end);
    child.pending.erase(0, end + 1);
    std::optional<StatusEvent> event = ParseStatusLine(line);
    if (!event) {
      screen.Message(child, line);  // not a status line: a usage error, say
      continue;
    }
    switch (event->kind) {
      case StatusEvent::Kind::phase:
        child.line->SetPhase(event->text);
        break;
      case StatusEvent::Kind::range:
        child.line->SetRange(event->first, event->second);
        break;
      case StatusEvent::Kind::position:
        child.line->SetPosition(event->first);
        break;
      case StatusEvent::Kind::message:
        child.last_message = event->text;
        screen.Message(child, event->text);
        break;
    }
  }
  screen.Draw(false);
}

void PrintSummary(const std::vector<Child>& children) {
  std::size_t width = 4;
  for (const Child& c : children) width = std::max(width, c.port.size());
  std::fprintf(stderr, "\n%-*s  %-9s  %-7s  %s\n", static_cast<int>(width), "port", "result",
               "time", "last message");
  for (const Child& c : children) {
    std::string message = c.last_message.substr(0, c.last_message.find('\n'));
    std::fprintf(stderr, "%-*s  %-9s  %6.1f s  %s\n", static_cast<int>(width), c.port.c_str(),
                 Screen::Ending(c).c_str(), static_cast<double>(c.took) / 1000.0, message.c_str());
  }
}

}  // namespace

std::string PortLogPath(const std::string& path, const std::string& port) {
  std::string name = port;
  std::replace(name.begin(), name.end(), '/', '_');
  return path + "." + name;
}

int FlashEveryPort(const MultiFlashSetup& setup) {
  std::vector<Child> children(setup.ports.size());
  Screen screen(children, setup.terminal);
  for (std::size_t i = 0; i < children.size(); ++i) {
    children[i].port = setup.ports[i];
    children[i].line = std::make_unique<ProgressLine>(stderr, false);
    children[i].started = RealClock().NowMs();
    Spawn(setup, children[i]);
  }
  screen.Draw(true);
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Child*> owners;
    for (Child& c : children) {
      if (c.fd >= 0) {
        fds.push_back({c.fd, POLLIN, 0});
        owners.push_back(&c);
      }
    }
    if (fds.empty()) break;
    if (poll(fds.data(), fds.size(), kRedrawMs) < 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents != 0) Take(*owners[i], screen);
    }
    screen.Draw(false);
  }
  PrintSummary(children);
  const bool all = std::all_of(children.begin(), children.end(),
                               [](const Child& c) { return c.exit_code == kExitCompleted; });
  return all ? kExitCompleted : kExitStopped;
}

}  // namespace vexo
