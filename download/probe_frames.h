// The probe frames a host sends before the boot loader's commands and their
// time limit; the rates they are tried at and the rates the loader can be
// switched to come from link/line_rates.h. Shared by the handshake and the
// set-up check (its rate check and its read-only radio probe).
#pragma once

#include "link/line_rates.h"

namespace vexo {

inline constexpr char kProbeA[] = "55AA035700005A";
inline constexpr char kProbeB[] = "55AA035800005B";
inline constexpr char kProbeAck[] = "06";
inline constexpr int kProbeLimitMs = 200;  // per attempt; FrameExchange makes three
inline constexpr int kOpenSettleMs = 100;  // after opening the port, before the first probe

}  // namespace vexo
