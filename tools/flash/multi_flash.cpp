#include "tools/flash/multi_flash.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "app/settings.h"
#include "app/text_ids.h"
#include "download/job_observer.h"
#include "history/job_event_schema.h"
#include "history/job_record.h"
#include "link/clock.h"
#include "tools/flash/flash_options.h"
#include "tools/flash/line_queue.h"
#include "tools/flash/progress_line.h"
#include "tools/flash/stop_rule.h"

extern char** environ;

namespace vexo {
namespace {

constexpr char kEventsOption[] = "--json";
constexpr int kRedrawMs = 100;
constexpr std::size_t kReadChunk = 4096;

namespace key = job_event::key;
namespace name = job_event::name;

struct Child {
  std::string port;
  pid_t pid = -1;
  int events_fd = -1;  // its standard output: JSON events
  std::string events_pending;
  std::string result;  // of its end event; empty when none came
  std::unique_ptr<ProgressLine> line;
  std::int32_t range_total = -1;  // the count the line shows; -1 before a phase's first
  std::string last_message;
  std::int64_t started = 0;
  std::int64_t took = 0;
  int exit_code = kExitStopped;
  int killed_by = 0;  // the signal that ended it, when it did not exit
};

bool Spawn(const MultiFlashSetup& setup, Child& child) {
  std::vector<std::string> text = {setup.program, kEventsOption, "--port", child.port};
  text.insert(text.end(), setup.common_args.begin(), setup.common_args.end());
  if (setup.log_path) {
    text.push_back("--log");
    text.push_back(PortLogPath(*setup.log_path, child.port));
  }
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  int events[2];
  if (pipe2(events, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Each child's events through a pipe of its own: a line longer than the
  // system writes at once would otherwise be cut into by another child's.
  posix_spawn_file_actions_adddup2(&actions, events[1], STDOUT_FILENO);
  // Its terminal lines repeat its message events; written to a terminal they
  // would tear the progress lines.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // A group of its own: Ctrl+C on the terminal reaches this process only,
  // which passes each stop request on once. The stop signals, blocked here,
  // are blocked in the child too until its own job takes them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  const int failed =
      posix_spawn(&child.pid, setup.program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(events[1]);
  if (failed != 0) {
    close(events[0]);
    child.pid = -1;
    child.last_message = "cannot start " + setup.program;
    return false;
  }
  child.events_fd = events[0];
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
      std::string text = c.port + "  " + (c.pid > 0 ? c.line->Text() : Ending(c));
      std::fprintf(stderr, "\r\x1b[2K%s\n", text.c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
  }

  static std::string Ending(const Child& c) {
    // The words of the end event's result; children from before "failed"
    // said "stopped" for both.
    JobResult result = JobResult::kStopped;
    if (c.exit_code == kExitCompleted && c.killed_by == 0) {
      result = JobResult::kCompleted;
    } else if (ParseJobResult(c.result) == JobResult::kFailed) {
      result = JobResult::kFailed;
    }
    return std::string(JobResultText(result));
  }

 private:
  std::vector<Child>& children_;
  bool terminal_;
  bool drawn_ = false;
  std::int64_t last_ = 0;
};

// Once its event stream has ended, how the child ended.
void ReapWhenDone(Child& child, Screen& screen) {
  if (child.events_fd >= 0 || child.pid <= 0) return;
  int status = 0;
  if (waitpid(child.pid, &status, 0) == child.pid) {
    if (WIFEXITED(status)) child.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) child.killed_by = WTERMSIG(status);
  }
  child.pid = -1;
  child.took = RealClock().NowMs() - child.started;
  screen.Draw(true);
}

// Reads what fd holds into pending; false (and fd closed) at its end.
bool ReadInto(int& fd, std::string& pending) {
  char buffer[kReadChunk];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) {
    close(fd);
    fd = -1;
    return false;
  }
  pending.append(buffer, static_cast<std::size_t>(n));
  return true;
}

// The phase texts a single run shows on its progress line.
std::optional<TextId> PhaseTextId(const std::string& phase) {
  if (phase == JobPhaseName(JobPhase::erase)) return text::kBusyIndicator;
  if (phase == JobPhaseName(JobPhase::programming)) return text::kStatusProgramming;
  if (phase == JobPhaseName(JobPhase::read_back)) return text::kStatusVerifying;
  return std::nullopt;  // the line keeps what it shows
}

std::string Text(const nlohmann::ordered_json& event, const char* field) {
  const auto value = event.find(field);
  return value != event.end() && value->is_string() ? value->get<std::string>() : std::string();
}

std::int32_t Count(const nlohmann::ordered_json& event, const char* field) {
  const auto value = event.find(field);
  return value != event.end() && value->is_number_integer() ? value->get<std::int32_t>() : -1;
}

// What one event changes on the child's line, its messages and its result.
void Show(Child& child, const nlohmann::ordered_json& event, Screen& screen) {
  const std::string kind = Text(event, key::kEvent);
  if (kind == name::kStart) {
    child.line->SetPhase(LookupText(text::kStatusLoading));
  } else if (kind == name::kPhase) {
    if (std::optional<TextId> id = PhaseTextId(Text(event, key::kName))) {
      child.line->SetPhase(LookupText(*id));
      child.range_total = -1;
    }
  } else if (kind == name::kProgress) {
    const std::int32_t done = Count(event, key::kDone);
    const std::int32_t total = Count(event, key::kTotal);
    if (done < 0 || total < 0) return;
    if (total != child.range_total) child.line->SetRange(0, total);
    child.range_total = total;
    child.line->SetPosition(done);
  } else if (kind == name::kMessage) {
    child.last_message = Text(event, key::kText);
    screen.Message(child, child.last_message);
  } else if (kind == name::kEnd) {
    child.result = Text(event, key::kResult);
  }
}

// A single run's events name no port but on start: passed on from several,
// each names its own, next to the event's name.
std::string WithPort(const std::string& line, const nlohmann::ordered_json& event,
                     const std::string& port) {
  if (!event.is_object() || event.contains(key::kPort)) return line;
  nlohmann::ordered_json tagged;
  for (const auto& [field, value] : event.items()) {
    tagged[field] = value;
    if (field == key::kEvent) tagged[key::kPort] = port;
  }
  return tagged.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The child's event lines: shown, and passed on whole when asked for.
void TakeEvents(Child& child, LineQueue* forward, Screen& screen) {
  const bool open = ReadInto(child.events_fd, child.events_pending);
  // A last line without its line break still goes out as a line of its own.
  if (!open && !child.events_pending.empty()) child.events_pending += '\n';
  for (std::size_t end; (end = child.events_pending.find('\n')) != std::string::npos;) {
    std::string line = child.events_pending.substr(0, end);
    child.events_pending.erase(0, end + 1);
    const auto event = nlohmann::ordered_json::parse(line, nullptr, false);
    if (event.is_object()) Show(child, event, screen);
    if (forward) {
      const bool progress = Text(event, key::kEvent) == name::kProgress;
      forward->Put(WithPort(line, event, child.port),
                   progress ? LineUrgency::kDroppable : LineUrgency::kKept);
    }
  }
  screen.Draw(false);
  if (!open) ReapWhenDone(child, screen);
}

// Why a port ended as it did: its last message whole (a failed open says
// what to do on its later lines), or how its process ended.
std::string Reason(const Child& c) {
  if (c.killed_by != 0) {
    return "vexo-flash ended by signal " + std::to_string(c.killed_by) + " (" +
           strsignal(c.killed_by) + ")";
  }
  std::string reason = c.last_message;
  for (std::size_t at; (at = reason.find('\n')) != std::string::npos;) {
    reason.replace(at, 1, " / ");
  }
  if (reason.empty() && c.exit_code != kExitCompleted) {
    reason = "vexo-flash ended with status " + std::to_string(c.exit_code);
  }
  return reason;
}

void PrintSummary(const std::vector<Child>& children) {
  std::size_t width = 4;
  for (const Child& c : children) width = std::max(width, c.port.size());
  std::fprintf(stderr, "\n%-*s  %-9s  %-7s  %s\n", static_cast<int>(width), "port", "result",
               "time", "last message");
  for (const Child& c : children) {
    const std::string message = Reason(c);
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
  // Stop requests are taken from a descriptor in the loop below and passed to
  // every child, which applies the stop rule to its own radio.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &stops, &previous);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
  int last_request = 0;

  // Whole lines, and never a wait for a reader that does not read.
  std::fflush(stdout);
  std::optional<LineQueue> events;
  if (setup.json) events.emplace(STDOUT_FILENO);

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
      if (c.events_fd < 0) continue;
      fds.push_back({c.events_fd, POLLIN, 0});
      owners.push_back(&c);
    }
    if (fds.empty()) break;
    const std::size_t child_fds = fds.size();
    if (signals >= 0) fds.push_back({signals, POLLIN, 0});
    if (poll(fds.data(), fds.size(), kRedrawMs) < 0) continue;
    for (std::size_t i = 0; i < child_fds; ++i) {
      if (fds[i].revents != 0) TakeEvents(*owners[i], events ? &*events : nullptr, screen);
    }
    signalfd_siginfo request{};
    if (fds.size() > child_fds && (fds.back().revents & POLLIN) != 0 &&
        read(signals, &request, sizeof request) == sizeof request) {
      last_request = static_cast<int>(request.ssi_signo);
      for (const Child& c : children) {
        if (c.pid > 0) kill(c.pid, last_request);
      }
    }
    screen.Draw(false);
  }
  if (signals >= 0) close(signals);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (events) events->Close();
  PrintSummary(children);
  const auto ended_as = [&](int status) {
    return std::any_of(children.begin(), children.end(),
                       [status](const Child& c) { return c.exit_code == status; });
  };
  if (last_request != 0 && ended_as(ExitStatusForSignal(last_request))) {
    return ExitStatusForSignal(last_request);
  }
  const bool all = std::all_of(children.begin(), children.end(), [](const Child& c) {
    return c.exit_code == kExitCompleted && c.killed_by == 0;
  });
  return all ? kExitCompleted : kExitStopped;
}

}  // namespace vexo
