// The probe frames a host sends before the boot loader's commands, the rates
// they are tried at (in order) and their time limit, and the rates the loader
// can be switched to with their BPSSET codes. Shared by the handshake and the
// set-up check (its rate check and its read-only radio probe).
#pragma once

namespace vexo {

inline constexpr char kProbeA[] = "55AA035700005A";
inline constexpr char kProbeB[] = "55AA035800005B";
inline constexpr char kProbeAck[] = "06";
inline constexpr int kProbeLimitMs = 200;  // per attempt; FrameExchange makes three
inline constexpr int kOpenSettleMs = 100;  // after opening the port, before the first probe
inline constexpr int kProbeRates[] = {9600, 4800, 2400, 1200, 38400, 19200, 57600};

struct LoaderRate {
  int baud;
  const char* code;  // the BPSSET argument
};
inline constexpr LoaderRate kLoaderRates[] = {
    {9600, "0"}, {19200, "1"}, {38400, "2"}, {57600, "3"}, {115200, "4"},
};

}  // namespace vexo
