// The port seam over the page's SerialLine (Web Serial): every call goes to
// Module.vexoLine; opening, closing, writing and waiting are awaited there
// while the engine's stack is suspended (Asyncify), so the page stays live.
// The page picks the port before the job; the engine's port number is not
// used. Called on the page's thread only; Abort is the page's stop.
#pragma once

#include "link/serial_control.h"

namespace vexo::web {

class WebSerialPort final : public SerialControl {
 public:
  PortStatus Open(int comm_port, int rate) override;
  PortStatus SetRate(int rate) override;
  bool PortOpen() const override;
  void Close() override;
  int InBufferCount() override;
  std::vector<std::uint8_t> Input(std::size_t max_bytes = kInputReadLimit) override;
  PortStatus Output(std::span<const std::uint8_t> bytes) override;
  WaitResult WaitForInput(std::chrono::milliseconds limit) override;
  WaitResult WaitForBytes(std::size_t count, std::chrono::milliseconds limit) override;
  int LineRate() const override;
  void Abort() override;
};

}  // namespace vexo::web
