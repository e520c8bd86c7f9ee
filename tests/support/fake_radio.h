// An in-process boot loader that answers a ScriptedPort's writes the way a
// correct radio does, with switches for the faults the engine must survive.
// Each write of the exchange is one whole message, so no framing is needed;
// a message mangled by line noise is simply not understood.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "link/hex_text.h"
#include "tests/support/fake_port.h"

namespace vexo::testing {

class FakeRadio {
 public:
  explicit FakeRadio(ScriptedPort& port) {
    port.responder = [this](ScriptedPort& p, const std::string& hex) {
      std::string heard = noise.active() ? Mangle(hex) : hex;
      if (!hung_up) Answer(p, heard);
    };
  }

  // Random faults on the line, both directions, from one seed.
  struct Noise {
    double drop = 0;                // probability a byte is lost
    double corrupt = 0;             // probability a byte is changed
    double late = 0;                // probability a reply comes after 2 s
    double split = 0;               // probability a reply comes in two pieces
    int piece_bytes = 0;            // every reply cut into pieces this long ...
    std::int64_t piece_gap_ms = 0;  // ... this far apart
    bool active() const {
      return drop > 0 || corrupt > 0 || late > 0 || split > 0 || piece_bytes > 0;
    }
  } noise;
  // The reply to this read request (0-based) stops after its first piece; the
  // rest follows stall_ms after the request.
  int stall_read = -1;
  std::int64_t stall_ms = 0;
  std::mt19937 random{1};
  int hang_up_after = -1;  // the line goes dead once this many records were written
  bool hung_up = false;

  // Settings text at which probe A is answered; empty: never.
  std::string probe_settings = "9600,n,8,1";
  std::string downing_reply = "16";
  std::string erase_reply = "44";
  std::int64_t erase_ms = 50;
  int silent_record = -1;  // this record (0-based) is never echoed
  int lost_echoes = 0;     // the first n echoes of silent_record are lost, then answered
  bool run_replies = false;
  bool run_of_zero = false;  // runs are reported with L = 0
  bool bad_page_sum = false;
  int corrupt_flash_at = -1;  // this flash byte is written wrong
  bool answer_closing = true;
  bool answer_final = true;
  std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(0x10000, 0x00);
  std::vector<std::string> received;  // messages in order
  int records = 0;

 private:
  void Answer(ScriptedPort& p, const std::string& hex) {
    received.push_back(hex);
    const std::string lead = hex.substr(0, 2);
    if (hex == "55AA035700005A" || hex == "55AA035800005B") {
      if (p.settings == probe_settings) {
        rate = "9600,n,8,1";
        Send(p, "06", 2);
      }
      return;
    }
    if (p.settings != rate) return;  // bytes at another rate are garbage
    if (hex == TextToHex("FIRMWAR")) {
      Send(p, "06", 2);
    } else if (hex == TextToHex("DOWNING")) {
      if (!downing_reply.empty()) Send(p, downing_reply, 2);
    } else if (hex == "02") {
      Send(p, "5452424C30313030", 2);
    } else if (hex.rfind(TextToHex("BPSSET"), 0) == 0 && hex.size() <= 14) {
      Send(p, hex.substr(0, 6) + hex.substr(hex.size() - 2), 2);
      static const char* const kRates[] = {"9600", "19200", "38400", "57600", "115200"};
      if (hex.size() == 14 && hex[12] == '3' && hex[13] >= '0' && hex[13] <= '4') {
        rate = std::string(kRates[hex[13] - '0']) + ",n,8,1";
      }
    } else if (hex == TextToHex("DALL")) {
      std::fill(flash.begin(), flash.end(), 0xFF);
      if (!erase_reply.empty()) Send(p, erase_reply, erase_ms);
    } else if (lead == "42" && hex.size() == 258) {
      Send(p, hex, 5);
    } else if (lead == "50" && hex.size() == 270) {
      Program(p, hex);
    } else if (hex == "45") {
      if (answer_final) Send(p, "06", 2);
    } else if (lead == "52" && hex.size() == 8) {
      stalled_ = reads_++ == stall_read;
      Read(p, std::stoul(hex.substr(2, 4), nullptr, 16));
      stalled_ = false;
    }
  }

  void Program(ScriptedPort& p, const std::string& hex) {
    if (HexChecksum(hex.substr(0, 268)) != hex.substr(268)) return;  // bad sum: no echo
    if (hex.substr(2, 8) == "FFFFFFFF") {
      if (answer_closing) Send(p, "45", 2);
      return;
    }
    int record = records;
    if (record == silent_record) {
      if (lost_echoes == 0 || attempts_++ < lost_echoes) return;
    }
    std::vector<std::uint8_t> bytes;
    HexToBytes(hex, bytes);
    std::uint32_t address =
        (std::uint32_t{bytes[1]} << 24) | (bytes[2] << 16) | (bytes[3] << 8) | bytes[4];
    for (int i = 0; i < 128 && address + i < flash.size(); ++i) flash[address + i] = bytes[6 + i];
    if (corrupt_flash_at >= static_cast<long>(address) && corrupt_flash_at < address + 128L) {
      flash[corrupt_flash_at] ^= 0x01;
    }
    ++records;
    if (records == hang_up_after) {
      hung_up = true;
      p.Disconnect();
      return;
    }
    Send(p, hex.substr(0, 12), 2);
  }

  void Read(ScriptedPort& p, std::size_t address) {
    auto byte_at = [&](std::size_t a) -> std::uint8_t {
      return a < flash.size() ? flash[a] : 0xFF;
    };
    if (run_replies) {
      std::uint8_t v = byte_at(address);
      int pages = 0;
      for (; pages < 255; ++pages) {
        bool uniform = true;
        for (int i = 0; i < 256 && uniform; ++i) {
          uniform = byte_at(address + pages * 256 + i) == v;
        }
        if (!uniform) break;
      }
      if (pages > 0) {
        std::string reply =
            "7700" + HexOfValue(0, 1) + HexOfValue(run_of_zero ? 0 : pages, 1) + HexOfValue(v, 1);
        Send(p, reply + HexChecksum(reply), 3);
        return;
      }
    }
    std::string reply = "57" + HexOfValue(static_cast<std::uint32_t>(address), 3);
    for (std::size_t i = 0; i < 256; ++i) reply += HexOfValue(byte_at(address + i), 1);
    std::string sum = HexChecksum(reply);
    if (bad_page_sum) sum = HexOfValue((std::stoul(sum, nullptr, 16) + 1) & 0xFF, 1);
    Send(p, reply + sum, 10);
  }

  // A reply on its way back, through the noise. The line carries one reply
  // at a time: a reply starts once the one before it has gone out.
  void Send(ScriptedPort& p, const std::string& hex, std::int64_t delay) {
    std::string out = noise.active() ? Mangle(hex) : hex;
    std::uniform_real_distribution<double> chance(0, 1);
    if (noise.active() && chance(random) < noise.late) delay += 2000;
    std::int64_t at = std::max(p.Now() + delay, line_free_at_);
    std::vector<std::string> pieces;
    std::int64_t gap = 0;
    if (noise.piece_bytes > 0) {
      for (std::size_t i = 0; i < out.size(); i += 2 * noise.piece_bytes)
        pieces.push_back(out.substr(i, 2 * noise.piece_bytes));
      gap = noise.piece_gap_ms;
    } else if (noise.active() && out.size() > 2 && chance(random) < noise.split) {
      const std::size_t half = out.size() / 4 * 2;
      pieces = {out.substr(0, half), out.substr(half)};
      gap = 40;
    } else {
      pieces = {out};
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i == 1 && stalled_) {
        // The rest of a stalled reply comes at once, when the stall ends.
        std::string rest;
        for (std::size_t k = 1; k < pieces.size(); ++k) rest += pieces[k];
        at = std::max(at, p.Now() + stall_ms);
        p.DeliverAt(rest, at);
        break;
      }
      p.DeliverAt(pieces[i], at);
      if (i + 1 < pieces.size()) at += gap;
    }
    line_free_at_ = at + std::max<std::int64_t>(gap, 1);
  }

  std::string Mangle(const std::string& hex) {
    std::uniform_real_distribution<double> chance(0, 1);
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      if (chance(random) < noise.drop) continue;
      std::string pair = hex.substr(i, 2);
      if (chance(random) < noise.corrupt) pair = HexOfValue(random() & 0xFF, 1);
      out += pair;
    }
    return out;
  }

  std::string rate = "9600,n,8,1";
  int attempts_ = 0;
  int reads_ = 0;
  bool stalled_ = false;
  std::int64_t line_free_at_ = 0;
};

}  // namespace vexo::testing
