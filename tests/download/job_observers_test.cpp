#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/job_observers.h"

namespace vexo {
namespace {

// Writes each note it hears as one line, tagged with its name.
class NoteLog final : public JobObserver {
 public:
  NoteLog(std::string name, std::vector<std::string>& lines)
      : name_(std::move(name)), lines_(lines) {}
  void ImageLoaded(const ImageSummary& s) override {
    Put("image " + std::to_string(s.trailing_bytes));
  }
  void PhaseStarted(JobPhase p) override { Put(std::string("start ") + JobPhaseName(p)); }
  void PhaseEnded(JobPhase p, bool ok, const ExchangeTally&) override {
    Put(std::string("end ") + JobPhaseName(p) + (ok ? " ok" : " failed"));
  }
  void IdentityReceived(const std::string& hex) override { Put("identity " + hex); }
  void RateInUse(int baud, bool declined) override {
    Put("rate " + std::to_string(baud) + (declined ? " declined" : ""));
  }
  void ReadBackChecked(int pages, std::optional<std::uint32_t> first) override {
    Put("read-back " + std::to_string(pages) + " " + std::to_string(first.value_or(0)));
  }
  void ClosingConfirmed(bool confirmed) override { Put(confirmed ? "closed" : "not closed"); }
  void MessageShown(TextId id, const std::string& text) override {
    Put("message " + std::to_string(id) + " " + text);
  }
  void ProgressMade(std::int32_t done, std::int32_t total) override {
    Put("progress " + std::to_string(done) + "/" + std::to_string(total));
  }

 private:
  void Put(const std::string& note) { lines_.push_back(name_ + ": " + note); }
  std::string name_;
  std::vector<std::string>& lines_;
};

TEST(JobObservers, EveryNoteReachesEveryMemberInTheOrderAdded) {
  std::vector<std::string> lines;
  NoteLog a("a", lines), b("b", lines);
  JobObservers observers;
  observers.Add(a);
  observers.Add(b);
  observers.ImageLoaded({.bytes = 10, .records = 1, .trailing_bytes = 3});
  observers.PhaseStarted(JobPhase::read_back);
  observers.PhaseEnded(JobPhase::erase, false, {});
  observers.IdentityReceived("5658");
  observers.RateInUse(9600, true);
  observers.ReadBackChecked(4, 0x820);
  observers.ClosingConfirmed(false);
  observers.MessageShown(3025, "done");
  observers.ProgressMade(2, 5);
  const std::vector<std::string> notes = {"image 3",       "start read-back",    "end erase failed",
                                          "identity 5658", "rate 9600 declined", "read-back 4 2080",
                                          "not closed",    "message 3025 done",  "progress 2/5"};
  std::vector<std::string> expected;
  for (const std::string& note : notes) {
    expected.push_back("a: " + note);
    expected.push_back("b: " + note);
  }
  EXPECT_EQ(lines, expected);

  lines.clear();
  observers.Remove(a);
  observers.ClosingConfirmed(true);
  EXPECT_EQ(lines, std::vector<std::string>{"b: closed"});
}

}  // namespace
}  // namespace vexo
