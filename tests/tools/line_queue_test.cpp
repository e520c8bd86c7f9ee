// LineQueue against a reader that does not read: nothing waits, progress
// gives way, every kept line arrives whole and in order once it reads.
#include "tools/flash/line_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

namespace vexo {
namespace {

TEST(LineQueue, AFullQueueDropsProgressAndKeepsTheRest) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int flags = fcntl(fds[1], F_GETFL);
  fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);
  while (write(fds[1], "#", 1) > 0) {
  }
  fcntl(fds[1], F_SETFL, flags);  // the writer thread blocks from now on

  constexpr int kRounds = 20;
  LineQueue queue(fds[1], 4);
  for (int i = 0; i < kRounds; ++i) {
    queue.Put("p" + std::to_string(i), LineUrgency::kDroppable);
    queue.Put("k" + std::to_string(i) + std::string(5000, 'x'), LineUrgency::kKept);
  }
  EXPECT_GE(queue.dropped(), std::size_t{kRounds - 4});

  std::string text;
  char piece[4096];
  bool closed = false;
  while (!closed) {
    const ssize_t n = read(fds[0], piece, sizeof piece);
    ASSERT_GT(n, 0);
    text.append(piece, static_cast<std::size_t>(n));
    closed =
        text.find("k" + std::to_string(kRounds - 1)) != std::string::npos && text.back() == '\n';
  }
  EXPECT_TRUE(queue.Close(std::chrono::seconds(5)));
  close(fds[0]);
  close(fds[1]);

  std::istringstream lines(text.substr(text.find_first_not_of('#')));
  int kept = 0;
  std::size_t progress = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line[0] == 'p') {
      ++progress;
      continue;
    }
    EXPECT_EQ(line, "k" + std::to_string(kept++) + std::string(5000, 'x'));
  }
  EXPECT_EQ(kept, kRounds);
  EXPECT_EQ(progress + queue.dropped(), std::size_t{kRounds});
}

}  // namespace
}  // namespace vexo
