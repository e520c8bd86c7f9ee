// An in-process boot loader that answers a ScriptedPort's writes the way a
// correct radio does, with switches for the faults the engine must survive.
// Each write of the exchange is one whole message, so no framing is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/hex_text.h"
#include "tests/support/fake_port.h"

namespace vexo::testing {

class FakeRadio {
 public:
  explicit FakeRadio(ScriptedPort& port) {
    port.responder = [this](ScriptedPort& p, const std::string& hex) { Answer(p, hex); };
  }

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
  int corrupt_flash_at = -1;  // this flash byte reads back changed
  bool answer_closing = true;
  bool answer_final = true;
  std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(0x10000, 0x00);
  std::vector<std::string> received;  // messages in order
  int records = 0;

 private:
  void Answer(ScriptedPort& p, const std::string& hex) {
    received.push_back(hex);
    const std::string lead = hex.substr(0, 2);
    if (hex == "55AA035700005A") {
      if (p.settings == probe_settings) p.Deliver("06", 2);
    } else if (hex == "55AA035800005B") {
      p.Deliver("06", 2);
    } else if (hex == TextToHex("FIRMWAR")) {
      p.Deliver("06", 2);
    } else if (hex == TextToHex("DOWNING")) {
      if (!downing_reply.empty()) p.Deliver(downing_reply, 2);
    } else if (hex == "02") {
      p.Deliver("5452424C30313030", 2);
    } else if (hex.rfind(TextToHex("BPSSET"), 0) == 0) {
      p.Deliver(hex.substr(0, 6) + hex.substr(hex.size() - 2), 2);
    } else if (hex == TextToHex("DALL")) {
      std::fill(flash.begin(), flash.end(), 0xFF);
      if (!erase_reply.empty()) p.Deliver(erase_reply, erase_ms);
    } else if (lead == "42" && hex.size() == 258) {
      p.Deliver(hex, 5);
    } else if (lead == "50" && hex.size() == 270) {
      Program(p, hex);
    } else if (hex == "45") {
      if (answer_final) p.Deliver("06", 2);
    } else if (lead == "52" && hex.size() == 8) {
      Read(p, std::stoul(hex.substr(2, 4), nullptr, 16));
    }
  }

  void Program(ScriptedPort& p, const std::string& hex) {
    if (hex.substr(2, 8) == "FFFFFFFF") {
      if (answer_closing) p.Deliver("45", 2);
      return;
    }
    int record = records;
    if (record == silent_record) {
      if (lost_echoes == 0 || attempts_++ < lost_echoes) return;
    }
    std::vector<std::uint8_t> bytes;
    HexToBytes(hex, bytes);
    std::uint32_t address = (bytes[1] << 24) | (bytes[2] << 16) | (bytes[3] << 8) | bytes[4];
    for (int i = 0; i < 128 && address + i < flash.size(); ++i) flash[address + i] = bytes[6 + i];
    ++records;
    p.Deliver(hex.substr(0, 12), 2);
  }

  void Read(ScriptedPort& p, std::size_t address) {
    auto byte_at = [&](std::size_t a) -> std::uint8_t {
      std::uint8_t v = a < flash.size() ? flash[a] : 0xFF;
      return static_cast<int>(a) == corrupt_flash_at ? v ^ 0x01 : v;
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
        p.Deliver(reply + HexChecksum(reply), 3);
        return;
      }
    }
    std::string reply = "57" + HexOfValue(static_cast<std::uint32_t>(address), 3);
    for (std::size_t i = 0; i < 256; ++i) reply += HexOfValue(byte_at(address + i), 1);
    std::string sum = HexChecksum(reply);
    if (bad_page_sum) sum = HexOfValue((std::stoul(sum, nullptr, 16) + 1) & 0xFF, 1);
    p.Deliver(reply + sum, 10);
  }

  int attempts_ = 0;
};

}  // namespace vexo::testing
