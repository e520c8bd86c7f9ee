// The line rates of the radio's boot loader, each listed once: the order a
// host probes for it in, and the rates it can be switched to for programming
// with their BPSSET codes. Constants only, so that programs which link none of
// the engine (the simulator's replay) read the same lists.
#pragma once

namespace vexo {

inline constexpr int kProbeRates[] = {9600, 4800, 2400, 1200, 38400, 19200, 57600};

struct LoaderRate {
  int baud;
  const char* code;  // the BPSSET argument
};
inline constexpr LoaderRate kLoaderRates[] = {
    {9600, "0"}, {19200, "1"}, {38400, "2"}, {57600, "3"}, {115200, "4"},
};

}  // namespace vexo
