#include "tools/radio_sim/boot_loader.h"

#include <algorithm>

namespace vexo::sim {

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

Response Reply(std::vector<std::uint8_t> bytes) {
  Response r;
  r.reply = std::move(bytes);
  return r;
}

Response Silence(std::string note) {
  Response r;
  r.note = std::move(note);
  return r;
}

std::uint32_t AddressOf(std::span<const std::uint8_t> message) {
  return static_cast<std::uint32_t>(message[1]) << 24 |
         static_cast<std::uint32_t>(message[2]) << 16 |
         static_cast<std::uint32_t>(message[3]) << 8 | message[4];
}

bool SumIsRight(std::span<const std::uint8_t> message) {
  return ByteSum(message.first(message.size() - 1)) == message.back();
}

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

BootLoader::BootLoader(const SimConfig& config) : config_(config), flash_(config.flash_size) {}

Response BootLoader::Handle(MessageKind kind, std::span<const std::uint8_t> bytes) {
  if (kind != MessageKind::finish && kind != MessageKind::closing) closing_seen_ = false;
  if (hang_up_armed_ && kind != MessageKind::program) return HangUp();
  switch (kind) {
    case MessageKind::probe_a:
    case MessageKind::probe_b: {
      // A host starting a handshake finds the loader as after power-on.
      Response r = Reply({kAck});
      r.restart = true;
      return r;
    }
    case MessageKind::firmwar:
      return Reply({kAck});
    case MessageKind::downing:
      return Downing();
    case MessageKind::identity:
      return Reply({config_.identity.begin(), config_.identity.end()});
    case MessageKind::bpsset:
      return SetRate(bytes);
    case MessageKind::bpsset_plain:
      return Reply(Bytes(kBpsSetPlainReply));
    case MessageKind::echo_test:
      return Reply({bytes.begin(), bytes.end()});
    case MessageKind::erase_all:
      return Erase();
    case MessageKind::program:
      return Program(bytes);
    case MessageKind::closing:
      return Closing(bytes);
    case MessageKind::finish:
      return Finish();
    case MessageKind::read_request:
      return Read(bytes);
  }
  return Silence("unknown message");
}

Response BootLoader::HangUp() const {
  Response r = Silence("fault: hang up");
  r.hang_up = true;
  return r;
}

Response BootLoader::Downing() const {
  if (!config_.faults.downing_reply) return Silence("fault: DOWNING unanswered");
  return Reply({*config_.faults.downing_reply});
}

Response BootLoader::SetRate(std::span<const std::uint8_t> bytes) const {
  // The answer is "BPS" and the code: bytes 0..2 and the last of the seven.
  Response r = Reply({bytes[0], bytes[1], bytes[2], bytes.back()});
  r.rate_after = RateOfCode(bytes.back());
  if (!r.rate_after) r.note = "no such rate code: rate kept";
  return r;
}

Response BootLoader::Erase() {
  flash_.EraseAll();
  Response r = config_.faults.erase_reply ? Reply({*config_.faults.erase_reply})
                                          : Silence("fault: erase unanswered");
  r.work = config_.erase_time;
  return r;
}

int BootLoader::CountAttempt(std::uint32_t address) {
  // A message for another address than the last one starts the next record;
  // the same address again is a repeated attempt.
  if (!record_address_ || *record_address_ != address) {
    ++record_;
    record_address_ = address;
    attempt_ = 0;
  }
  ++attempt_;
  return record_;
}

bool BootLoader::Hit(const std::vector<RecordFault>& faults, int record) const {
  return std::any_of(faults.begin(), faults.end(), [&](const RecordFault& f) {
    return f.record == record && (f.attempts == 0 || attempt_ <= f.attempts);
  });
}

Response BootLoader::Program(std::span<const std::uint8_t> bytes) {
  if (!SumIsRight(bytes)) return Silence("bad sum");
  if (bytes[5] != kProgramLength) return Silence("bad length byte");
  std::uint32_t address = AddressOf(bytes);
  int record = CountAttempt(address);
  const FaultOptions& faults = config_.faults;
  if (faults.hang_up_after && record >= *faults.hang_up_after) return HangUp();
  if (!flash_.Write(address, bytes.subspan(6, kRecordDataBytes))) {
    return Silence("beyond the flash");
  }
  Response r = Reply({bytes.begin(), bytes.begin() + kProgramEchoBytes});
  r.work = config_.write_time;
  for (std::uint32_t bad : faults.corrupt_flash) {
    if (bad >= address && bad - address < kRecordDataBytes && flash_.Corrupt(bad, 0x01)) {
      r.note = "fault: flash byte corrupted";
    }
  }
  if (Hit(faults.no_echo, record)) {
    r.reply.clear();
    r.note = "fault: no echo";
  } else if (Hit(faults.wrong_echo, record)) {
    r.reply[5] ^= 0xFF;
    r.note = "fault: wrong echo";
  }
  // The line dies once the host has the last echo: at its next message.
  if (faults.hang_up_after && record + 1 == *faults.hang_up_after) hang_up_armed_ = true;
  return r;
}

Response BootLoader::Closing(std::span<const std::uint8_t> bytes) {
  if (!SumIsRight(bytes)) return Silence("bad sum");
  closing_seen_ = true;
  if (config_.faults.closing_silent) return Silence("fault: closing frame unanswered");
  return Reply({kClosingAck});
}

Response BootLoader::Finish() const {
  if (!closing_seen_) return Silence("not after the closing frame");
  if (config_.faults.finish_silent) return Silence("fault: final 45 unanswered");
  Response r = Reply({kAck});
  r.session_complete = true;
  return r;
}

Response BootLoader::Read(std::span<const std::uint8_t> bytes) {
  std::uint32_t address = static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[2];
  if (config_.run_replies) {
    std::uint8_t value = 0;
    int pages = flash_.UniformPages(address, kPageBytes, kMaxRunPages, value);
    if (pages >= std::max(config_.run_min, 1)) {
      std::uint8_t length = config_.faults.run_zero ? 0 : static_cast<std::uint8_t>(pages);
      Response r = Reply({kRunReplyLead, bytes[1], bytes[2], length, value});
      r.reply.push_back(ByteSum(r.reply));
      if (config_.faults.run_zero) r.note = "fault: run length 0";
      return r;
    }
  }
  Response r = Reply({kPageReplyLead, 0x00, bytes[1], bytes[2]});
  std::vector<std::uint8_t> page = flash_.Read(address, kPageBytes);
  r.reply.insert(r.reply.end(), page.begin(), page.end());
  r.reply.push_back(ByteSum(r.reply));
  int index = page_replies_++;
  if (Contains(config_.faults.corrupt_page_data, index)) {
    // The sum is made over the damaged data, so only a comparison finds it.
    r.reply[4] ^= 0x01;
    r.reply.back() = ByteSum(std::span(r.reply).first(r.reply.size() - 1));
    r.note = "fault: page data corrupted";
  }
  if (Contains(config_.faults.corrupt_page_sum, index)) {
    r.reply.back() ^= 0x01;
    r.note = "fault: page sum corrupted";
  }
  return r;
}

}  // namespace vexo::sim
