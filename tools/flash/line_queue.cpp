#include "tools/flash/line_queue.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vexo {

struct LineQueue::Shared {
  struct Line {
    std::string text;
    LineUrgency urgency;
  };

  int fd;
  std::size_t capacity;
  std::mutex mutex;
  std::condition_variable wake;     // a line to write, or closing
  std::condition_variable drained;  // nothing queued or in flight
  std::deque<Line> lines;
  bool writing = false;  // a line is out of the queue and not yet written
  bool closing = false;
  std::size_t dropped = 0;

  void WriteAll() {
    bool reader_gone = false;
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return !lines.empty() || closing; });
      if (lines.empty()) break;
      std::string text = std::move(lines.front().text);
      lines.pop_front();
      writing = true;
      lock.unlock();
      text += '\n';
      if (!reader_gone) reader_gone = !WriteWhole(text);
      lock.lock();
      writing = false;
      if (lines.empty()) drained.notify_all();
    }
    drained.notify_all();
  }

  bool WriteWhole(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    return true;
  }
};

LineQueue::LineQueue(int fd, std::size_t capacity) : shared_(std::make_shared<Shared>()) {
  shared_->fd = fd;
  shared_->capacity = std::max<std::size_t>(capacity, 1);
  // The thread takes no signal: the program's stop requests go to the thread
  // that waits for them. It holds the shared state too: it may outlive this
  // object.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  writer_ = std::thread([shared = shared_] { shared->WriteAll(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

LineQueue::~LineQueue() {
  if (!closed_) Close();
}

void LineQueue::Put(std::string line, LineUrgency urgency) {
  Shared& s = *shared_;
  {
    std::lock_guard lock(s.mutex);
    if (s.closing) return;
    if (s.lines.size() >= s.capacity) {
      auto oldest = std::find_if(s.lines.begin(), s.lines.end(), [](const Shared::Line& l) {
        return l.urgency == LineUrgency::kDroppable;
      });
      if (oldest != s.lines.end()) {
        s.lines.erase(oldest);
        ++s.dropped;
      } else if (urgency == LineUrgency::kDroppable) {
        ++s.dropped;
        return;
      }
    }
    s.lines.push_back({std::move(line), urgency});
  }
  s.wake.notify_one();
}

bool LineQueue::Close(std::chrono::milliseconds wait) {
  Shared& s = *shared_;
  closed_ = true;
  bool written = false;
  {
    std::unique_lock lock(s.mutex);
    s.closing = true;
    s.wake.notify_all();
    written = s.drained.wait_for(lock, wait, [&s] { return s.lines.empty() && !s.writing; });
  }
  if (!writer_.joinable()) return written;
  if (written) {
    writer_.join();
  } else {
    writer_.detach();  // blocked in write(); the process's end ends it
  }
  return written;
}

std::size_t LineQueue::dropped() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->dropped;
}

}  // namespace vexo
