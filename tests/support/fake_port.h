// Test doubles for the link layer: a simulated millisecond clock, a scripted
// serial port whose replies arrive at chosen simulated times, a log view and
// a message host that record what they are given. Time passes only when the
// code under test waits or sleeps, so time-outs cost microseconds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/hex_text.h"
#include "link/log_view.h"
#include "link/message_host.h"
#include "link/serial_control.h"

namespace vexo::testing {

class FakeClock : public Clock {
 public:
  std::int64_t NowMs() override { return now; }
  void SleepMs(std::int64_t ms) override {
    if (ms > 0) {
      now += ms;
      slept += ms;
    }
  }
  std::int64_t now = 1'000'000;
  std::int64_t slept = 0;
};

class FakeLog : public LogView {
 public:
  std::size_t TextLength() override { return text.size(); }
  void Empty() override {
    text.clear();
    ++emptied;
  }
  void AppendLine(const std::string& line) override { text += line; }
  std::string text;
  int emptied = 0;
};

class FakeMessages : public MessageHost {
 public:
  void ShowMessage(const std::string& message) override { shown.push_back(message); }
  std::vector<std::string> shown;
};

// A serial port on a FakeClock. The responder sees every write (as hex text)
// and schedules replies with Deliver(); bytes become readable when the clock
// reaches their time.
class ScriptedPort : public SerialControl {
 public:
  using Responder = std::function<void(ScriptedPort&, const std::string& written_hex)>;

  explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

  // Bytes (hex text) that arrive delay_ms after now.
  void Deliver(const std::string& hex, std::int64_t delay_ms = 0) {
    std::vector<std::uint8_t> bytes;
    HexToBytes(hex, bytes);
    pending_.push_back({clock_.now + delay_ms, std::move(bytes)});
  }
  // Bytes (hex text) that arrive when the clock reaches at.
  void DeliverAt(const std::string& hex, std::int64_t at) {
    std::vector<std::uint8_t> bytes;
    HexToBytes(hex, bytes);
    pending_.push_back({at, std::move(bytes)});
  }
  std::int64_t Now() const { return clock_.now; }
  void Disconnect() { disconnected_ = true; }

  Responder responder;
  std::vector<std::string> writes;        // every Output, as hex text
  std::vector<std::string> settings_log;  // every rate set, as "rate,n,8,1"
  std::string settings = "9600,n,8,1";
  bool open = false;
  bool fail_open = false;
  int opens = 0;
  int closes = 0;
  int comm_port = 0;

  PortStatus Open(int number, int rate) override {
    if (open) return {};
    comm_port = number;
    SetRate(rate);
    if (fail_open) return {PortError::busy, "held by another program"};
    ++opens;
    open = true;
    return {};
  }
  PortStatus SetRate(int rate) override {
    settings = std::to_string(rate) + ",n,8,1";
    settings_log.push_back(settings);
    return {};
  }
  bool PortOpen() const override { return open; }
  void Close() override {
    if (open) ++closes;
    open = false;
  }
  // As an unplugged line: every later transfer and wait fails.
  void Abort() override { Disconnect(); }
  int InBufferCount() override {
    if (disconnected_) return 0;
    Arrive();
    return static_cast<int>(buffer_.size());
  }
  std::vector<std::uint8_t> Input(std::size_t max_bytes) override {
    Arrive();
    std::size_t n = std::min(max_bytes, buffer_.size());
    std::vector<std::uint8_t> out(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    return out;
  }
  PortStatus Output(std::span<const std::uint8_t> bytes) override {
    if (disconnected_) return {PortError::disconnected, "gone"};
    std::string hex = BytesToHex(bytes);
    writes.push_back(hex);
    if (responder) responder(*this, hex);
    return {};
  }
  WaitResult WaitForInput(std::chrono::milliseconds limit) override {
    ++waits;
    if (disconnected_) return WaitResult::failed;
    Arrive();
    if (!buffer_.empty()) return WaitResult::input_waiting;
    std::int64_t until = clock_.now + limit.count();
    std::int64_t first = until + 1;
    for (const auto& p : pending_) first = std::min(first, p.at);
    if (first <= until) {
      clock_.now = std::max(clock_.now, first);
      Arrive();
      return WaitResult::input_waiting;
    }
    clock_.now = until;
    return WaitResult::timed_out;
  }
  // As a port that knows its line rate: sleeps until count bytes are here or
  // the limit has passed, holding whatever came meanwhile.
  WaitResult WaitForBytes(std::size_t count, std::chrono::milliseconds limit) override {
    if (!sleeps_through_wire) return WaitForInput(limit);
    ++waits;
    if (disconnected_) return WaitResult::failed;
    const std::int64_t until = clock_.now + limit.count();
    Arrive();
    while (buffer_.size() < count) {
      std::int64_t next = until + 1;
      for (const auto& p : pending_) next = std::min(next, p.at);
      if (next > until) {
        clock_.now = until;
        break;
      }
      clock_.now = next;
      Arrive();
    }
    return buffer_.empty() ? WaitResult::timed_out : WaitResult::input_waiting;
  }
  bool sleeps_through_wire = false;
  int LineRate() const override { return std::atoi(settings.c_str()); }
  int waits = 0;

 private:
  struct Pending {
    std::int64_t at;
    std::vector<std::uint8_t> bytes;
  };
  void Arrive() {
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (it->at <= clock_.now) {
        buffer_.insert(buffer_.end(), it->bytes.begin(), it->bytes.end());
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
  }

  FakeClock& clock_;
  std::deque<Pending> pending_;
  std::deque<std::uint8_t> buffer_;
  bool disconnected_ = false;
};

}  // namespace vexo::testing
