#include "tools/radio_sim/simulator.h"

#include <algorithm>
#include <utility>

namespace vexo::sim {

namespace {

bool NoiseOn(NoiseDirection configured, NoiseDirection direction) {
  return configured == NoiseDirection::both || configured == direction;
}

LineNoise MakeNoise(const FaultOptions& faults, NoiseDirection direction, std::uint32_t salt) {
  bool on = NoiseOn(faults.noise, direction);
  return LineNoise(on ? faults.drop_rate : 0.0, on ? faults.corrupt_rate : 0.0, faults.seed + salt);
}

std::string JoinNotes(std::string a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "; " + b;
}

}  // namespace

Simulator::Simulator(const SimConfig& config)
    : config_(config),
      loader_(config),
      reader_(config.gap),
      side_reader_(config.gap),
      in_noise_(MakeNoise(config.faults, NoiseDirection::in, 0)),
      out_noise_(MakeNoise(config.faults, NoiseDirection::out, 1)) {}

void Simulator::Receive(std::span<const std::uint8_t> bytes, int host_rate, SimTime now) {
  if (hung_up_ || bytes.empty()) return;
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  if (in_noise_.Apply(data)) {
    std::string note = "received as " + HexOf(data);
    report_.Add({now, std::string(kEventNoise), {}, host_rate, {bytes.begin(), bytes.end()}, note});
  }
  if (data.empty()) return;
  int rate = host_rate != 0 ? host_rate : rate_;
  if (now < busy_until_) {
    Ignore(now, {}, rate, std::move(data), "loader busy");
    return;
  }
  const std::optional<int>& probe_rate = config_.faults.probe_rate;
  if (rate == rate_) {
    reader_.Push(data, now, rate);
    Collect(reader_, true);
  } else if (probe_rate && rate == *probe_rate) {
    // The loader cannot read these bytes, but it listens for the probe frame
    // of a host starting a download at the probe rate whatever its own.
    reader_.Abandon("garbage between");
    Collect(reader_, true);
    side_reader_.Push(data, now, rate);
    Collect(side_reader_, false);
  } else {
    reader_.Abandon("garbage between");
    Collect(reader_, true);
    Ignore(now, {}, rate, std::move(data), "not at the loader's rate");
  }
}

void Simulator::Collect(MessageReader& reader, bool understood) {
  for (Framed& f : reader.Take()) {
    if (!f.kind) {
      Ignore(f.last, {}, f.rate, std::move(f.bytes), std::string(f.drop_reason));
      continue;
    }
    const std::string kind(KindName(*f.kind));
    if (*f.kind == MessageKind::probe_a || *f.kind == MessageKind::probe_b) {
      const std::optional<int>& probe_rate = config_.faults.probe_rate;
      if (!probe_rate || f.rate != *probe_rate) {
        Ignore(f.last, kind, f.rate, std::move(f.bytes), "not at the probe rate");
        continue;
      }
    } else if (!understood) {
      Ignore(f.last, kind, f.rate, std::move(f.bytes),
             "not at the loader's rate " + std::to_string(rate_));
      continue;
    }
    SimTime ready =
        config_.pace ? f.first + ByteTime(f.rate) * static_cast<int>(f.bytes.size()) : f.last;
    pending_.push_back(Pending{std::move(f), ready});
  }
}

std::vector<LineAction> Simulator::Run(SimTime now) {
  if (!hung_up_) {
    reader_.Expire(now);
    Collect(reader_, true);
    side_reader_.Expire(now);
    Collect(side_reader_, false);
    while (!pending_.empty() && !hang_up_scheduled_) {
      SimTime start = std::max(pending_.front().ready, busy_until_);
      if (start > now) break;
      Pending p = std::move(pending_.front());
      pending_.pop_front();
      Handle(p, start);
    }
  }

  std::vector<LineAction> due;
  while (!scheduled_.empty() && scheduled_.front().due <= now && !hung_up_) {
    Scheduled s = std::move(scheduled_.front());
    scheduled_.pop_front();
    if (s.event) report_.Add(std::move(*s.event));
    switch (s.action.type) {
      case LineAction::Type::write:
        break;
      case LineAction::Type::set_rate:
        if (s.action.rate == rate_) continue;
        rate_ = s.action.rate;
        report_.Add({s.due, std::string(kEventRate), {}, rate_, {}, {}});
        break;
      case LineAction::Type::session_end:
        ++sessions_;
        report_.Add({s.due, std::string(kEventSession), {}, rate_, {}, "complete"});
        break;
      case LineAction::Type::hang_up:
        hung_up_ = true;
        scheduled_.clear();
        report_.Add({s.due, std::string(kEventPort), {}, 0, {}, "hung up"});
        break;
    }
    AppendAction(due, std::move(s.action));
  }
  return due;
}

std::optional<SimTime> Simulator::NextWake() const {
  if (hung_up_) return std::nullopt;
  std::optional<SimTime> wake;
  auto consider = [&wake](std::optional<SimTime> t) {
    if (t && (!wake || *t < *wake)) wake = t;
  };
  if (!scheduled_.empty()) consider(scheduled_.front().due);
  if (!pending_.empty() && !hang_up_scheduled_) {
    consider(std::max(pending_.front().ready, busy_until_));
  }
  consider(reader_.Deadline());
  consider(side_reader_.Deadline());
  return wake;
}

void Simulator::Handle(const Pending& pending, SimTime start) {
  const Framed& m = pending.message;
  MessageKind kind = *m.kind;
  Response r = loader_.Handle(kind, m.bytes);
  report_.Add(
      {start, std::string(kEventMessage), std::string(KindName(kind)), m.rate, m.bytes, r.note});
  if (r.restart && rate_ != kStartRate) {
    Schedule(start, LineAction{LineAction::Type::set_rate, {}, kStartRate});
  }
  busy_until_ = start + r.work;
  SimTime after = std::max(busy_until_, line_free_);
  if (!r.reply.empty()) {
    Send(kind, m.rate, std::move(r.reply), busy_until_);
    after = line_free_;
  }
  if (r.rate_after) Schedule(after, LineAction{LineAction::Type::set_rate, {}, *r.rate_after});
  if (r.session_complete) Schedule(after, LineAction{LineAction::Type::session_end, {}, 0});
  if (r.hang_up) {
    Schedule(after, LineAction{LineAction::Type::hang_up, {}, 0});
    hang_up_scheduled_ = true;
  }
}

void Simulator::Send(MessageKind kind, int rate, std::vector<std::uint8_t> reply, SimTime at) {
  const FaultOptions& faults = config_.faults;
  std::string note;
  std::size_t index = static_cast<std::size_t>(kind);
  if (!faults.extra.empty() && faults.extra_kinds.test(index)) {
    reply.insert(reply.end(), faults.extra.begin(), faults.extra.end());
    note = JoinNotes(note, "fault: extra bytes");
  }
  if (out_noise_.Apply(reply)) note = JoinNotes(note, "noise");
  std::size_t pieces = 1;
  if (faults.split_pieces > 1 && faults.split_kinds.test(index) && reply.size() > 1) {
    pieces = std::min<std::size_t>(static_cast<std::size_t>(faults.split_pieces), reply.size());
    note = JoinNotes(note, "fault: split in " + std::to_string(pieces));
  }
  // The reply is reported when it starts to leave, which keeps the report
  // in time order.
  std::optional<ReportEvent> event = ReportEvent{std::max(at, line_free_),
                                                 std::string(kEventReply),
                                                 std::string(KindName(kind)),
                                                 rate,
                                                 reply,
                                                 note};

  // Pieces as even as the length allows; each leaves after the pause, and
  // with pacing every byte takes its ten bit times.
  SimTime t = std::max(at, line_free_);
  SimTime byte_time = config_.pace ? ByteTime(rate) : SimTime(0);
  std::size_t sent = 0;
  for (std::size_t piece = 0; piece < pieces; ++piece) {
    std::size_t end = reply.size() * (piece + 1) / pieces;
    if (piece > 0) t += faults.split_pause;
    if (config_.pace) {
      for (; sent < end; ++sent) {
        t += byte_time;
        Schedule(t, LineAction{LineAction::Type::write, {reply[sent]}, 0},
                 std::exchange(event, std::nullopt));
      }
    } else {
      Schedule(t,
               LineAction{LineAction::Type::write, {reply.begin() + sent, reply.begin() + end}, 0},
               std::exchange(event, std::nullopt));
      sent = end;
    }
  }
  line_free_ = t;
}

void Simulator::Schedule(SimTime due, LineAction action, std::optional<ReportEvent> event) {
  auto at = std::upper_bound(scheduled_.begin(), scheduled_.end(), due,
                             [](SimTime t, const Scheduled& s) { return t < s.due; });
  scheduled_.insert(at, Scheduled{due, std::move(action), std::move(event)});
}

void Simulator::Ignore(SimTime at, std::string kind, int rate, std::vector<std::uint8_t> bytes,
                       std::string note) {
  report_.Add(
      {at, std::string(kEventIgnored), std::move(kind), rate, std::move(bytes), std::move(note)});
}

void Simulator::NotePort(SimTime now, std::string note) {
  report_.Add({now, std::string(kEventPort), {}, 0, {}, std::move(note)});
}

std::string Simulator::ReportJson() const {
  return report_.ToJson(loader_.flash().bytes(), rate_, sessions_);
}

}  // namespace vexo::sim
