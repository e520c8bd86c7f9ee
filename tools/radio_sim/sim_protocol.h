// What travels on the line between a download host and the simulated boot
// loader: the message kinds the loader recognises, their fixed texts and
// lengths, the reply bytes and the BPSSET rate codes. Constants only.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexo::sim {

// Time on the simulator's own clock, counted from its start.
using SimTime = std::chrono::microseconds;

enum class MessageKind {
  probe_a,       // 55 AA 03 57 00 00 5A
  probe_b,       // 55 AA 03 58 00 00 5B
  firmwar,       // "FIRMWAR"
  downing,       // "DOWNING"
  identity,      // 02
  bpsset,        // "BPSSET" + rate code digit
  bpsset_plain,  // "BPSSET" without a code
  echo_test,     // 42 + 128 bytes
  erase_all,     // "DALL"
  program,       // 50, address, 80, 128 data bytes, sum
  closing,       // a program message with address FFFFFFFF
  finish,        // 45
  read_request,  // 52 HH LL FF
};
inline constexpr std::size_t kMessageKindCount = 13;

// Report and command-line name of a kind ("probe_a", "program", ...).
std::string_view KindName(MessageKind kind);
std::optional<MessageKind> KindFromName(std::string_view name);

inline constexpr std::array<std::uint8_t, 7> kProbeA = {0x55, 0xAA, 0x03, 0x57, 0x00, 0x00, 0x5A};
inline constexpr std::array<std::uint8_t, 7> kProbeB = {0x55, 0xAA, 0x03, 0x58, 0x00, 0x00, 0x5B};
inline constexpr std::string_view kFirmwarText = "FIRMWAR";
inline constexpr std::string_view kDowningText = "DOWNING";
inline constexpr std::string_view kEraseText = "DALL";
inline constexpr std::string_view kBpsSetText = "BPSSET";
inline constexpr std::string_view kBpsSetPlainReply = "BPST";

inline constexpr std::uint8_t kIdentityLead = 0x02;
inline constexpr std::uint8_t kEchoLead = 0x42;
inline constexpr std::uint8_t kProgramLead = 0x50;
inline constexpr std::uint8_t kProgramLength = 0x80;  // data bytes per record
inline constexpr std::uint8_t kFinishLead = 0x45;
inline constexpr std::uint8_t kReadLead = 0x52;
inline constexpr std::uint8_t kReadTail = 0xFF;

inline constexpr std::size_t kProbeBytes = 7;
inline constexpr std::size_t kEchoBytes = 129;
inline constexpr std::size_t kProgramBytes = 135;
inline constexpr std::size_t kProgramEchoBytes = 6;
inline constexpr std::size_t kRecordDataBytes = 128;
inline constexpr std::size_t kReadRequestBytes = 4;
inline constexpr std::uint32_t kClosingAddress = 0xFFFFFFFF;

inline constexpr std::uint8_t kAck = 0x06;  // probe, FIRMWAR, final 45
inline constexpr std::uint8_t kDowningAck = 0x16;
inline constexpr std::uint8_t kEraseAck = 0x44;
inline constexpr std::uint8_t kClosingAck = 0x45;
inline constexpr std::uint8_t kPageReplyLead = 0x57;
inline constexpr std::uint8_t kRunReplyLead = 0x77;
inline constexpr std::size_t kPageBytes = 256;
inline constexpr std::size_t kPageReplyBytes = 261;
inline constexpr std::size_t kRunReplyBytes = 6;
inline constexpr int kMaxRunPages = 255;

inline constexpr int kStartRate = 9600;  // the loader's rate after power-on
inline constexpr int kBitsPerByte = 10;  // start, 8 data, stop

// The rate a BPSSET code digit selects; nullopt for digits the loader lacks.
std::optional<int> RateOfCode(std::uint8_t code);

// How long one byte takes on a line at rate (10 bit times).
inline SimTime ByteTime(int rate) {
  return SimTime(rate > 0 ? (kBitsPerByte * 1'000'000LL + rate - 1) / rate : 0);
}

// 8-bit sum of bytes, the checksum rule of program messages and read replies.
template <typename Bytes>
std::uint8_t ByteSum(const Bytes& bytes) {
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint8_t>(sum);
}

}  // namespace vexo::sim
