// LineQueue: whole lines written to a descriptor by a thread of its own, so
// that whoever puts a line never waits for the reader. Each line goes out in
// a write loop of its own, never cut into by another line of this queue.
// The queue is bounded: when it is full, the oldest droppable line makes room
// (or a droppable newcomer is dropped, and counted); a kept line is never
// dropped, the queue grows for it. Put from any thread. Close waits a bounded
// time for the rest; when the reader still does not read, the rest is given
// up and the writer thread, blocked in write(), is left to end with the
// process. A reader that has gone (a closed pipe) is written no more. The
// writer thread blocks every signal.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

namespace vexo {

enum class LineUrgency { kDroppable, kKept };

class LineQueue {
 public:
  static constexpr std::size_t kCapacity = 256;  // lines
  static constexpr std::chrono::milliseconds kCloseWait{2000};

  explicit LineQueue(int fd, std::size_t capacity = kCapacity);
  ~LineQueue();  // Close(kCloseWait) when not closed yet
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // line without its line break. Ignored after Close.
  void Put(std::string line, LineUrgency urgency);
  // True when every line was written (or the reader had gone) within wait.
  bool Close(std::chrono::milliseconds wait = kCloseWait);
  // Lines dropped so far because the queue was full.
  std::size_t dropped() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::thread writer_;
  bool closed_ = false;
};

}  // namespace vexo
