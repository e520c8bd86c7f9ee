#include "web/engine/web_serial_port.h"

#include <emscripten.h>

#include <cstdlib>

// clang-format off
EM_ASYNC_JS(int, vexo_line_open, (int rate, int change_rate), {
  const line = Module.vexoLine;
  if (!line) return Module.vexoPortErrors.indexOf('no_such_port');
  return await Module.vexoLineCall(() => change_rate ? line.setRate(rate) : line.open(rate));
});

EM_ASYNC_JS(int, vexo_line_write, (const std::uint8_t* bytes, int count), {
  const line = Module.vexoLine;
  if (!line) return Module.vexoPortErrors.indexOf('not_open');
  const copy = HEAPU8.slice(bytes, bytes + count);
  return await Module.vexoLineCall(() => line.write(copy));
});

EM_ASYNC_JS(int, vexo_line_wait, (int count, int limit_ms), {
  const line = Module.vexoLine;
  if (!line) return 2;
  try {
    const result = await line.waitFor(count, limit_ms);
    return result === 'input' ? 0 : result === 'timeout' ? 1 : 2;
  } catch (error) {
    return 2;
  }
});

EM_ASYNC_JS(void, vexo_line_close, (), {
  const line = Module.vexoLine;
  if (!line) return;
  try {
    await line.close();
  } catch (error) {
    console.error('vexo line close', error);
  }
});

EM_JS(int, vexo_line_is_open, (), {
  return Module.vexoLine && Module.vexoLine.isOpen() ? 1 : 0;
});

EM_JS(int, vexo_line_available, (), {
  return Module.vexoLine ? Module.vexoLine.available() : 0;
});

EM_JS(int, vexo_line_take, (std::uint8_t* into, int max_bytes), {
  if (!Module.vexoLine) return 0;
  const bytes = Module.vexoLine.take(max_bytes);
  HEAPU8.set(bytes.subarray(0, max_bytes), into);
  return Math.min(bytes.length, max_bytes);
});

EM_JS(int, vexo_line_rate, (), {
  return Module.vexoLine ? Module.vexoLine.rate() : 0;
});

EM_JS(void, vexo_line_abort, (), {
  if (Module.vexoLine) Module.vexoLine.abort();
});

EM_JS(char*, vexo_line_reason, (), {
  const text = Module.vexoLastReason || "";
  const size = lengthBytesUTF8(text) + 1;
  const copy = _malloc(size);
  stringToUTF8(text, copy, size);
  return copy;
});
// clang-format on

namespace vexo::web {

namespace {

PortStatus StatusOf(int error) {
  if (error == 0) return {};
  char* reason = vexo_line_reason();
  PortStatus status{static_cast<PortError>(error), reason ? reason : ""};
  std::free(reason);
  return status;
}

int LimitMs(std::chrono::milliseconds limit) {
  if (limit.count() < 0) return 0;
  if (limit.count() > 0x7fffffff) return 0x7fffffff;
  return static_cast<int>(limit.count());
}

WaitResult WaitResultOf(int code) {
  if (code == 0) return WaitResult::input_waiting;
  if (code == 1) return WaitResult::timed_out;
  return WaitResult::failed;
}

}  // namespace

PortStatus WebSerialPort::Open(int /*comm_port*/, int rate) {
  if (PortOpen()) return {};
  return StatusOf(vexo_line_open(rate, 0));
}

PortStatus WebSerialPort::SetRate(int rate) {
  return StatusOf(vexo_line_open(rate, 1));
}

bool WebSerialPort::PortOpen() const {
  return vexo_line_is_open() != 0;
}

void WebSerialPort::Close() {
  vexo_line_close();
}

int WebSerialPort::InBufferCount() {
  return vexo_line_available();
}

std::vector<std::uint8_t> WebSerialPort::Input(std::size_t max_bytes) {
  std::vector<std::uint8_t> bytes(std::min(max_bytes, kInputReadLimit));
  if (bytes.empty()) return bytes;
  bytes.resize(static_cast<std::size_t>(vexo_line_take(bytes.data(), static_cast<int>(bytes.size()))));
  return bytes;
}

PortStatus WebSerialPort::Output(std::span<const std::uint8_t> bytes) {
  return StatusOf(vexo_line_write(bytes.data(), static_cast<int>(bytes.size())));
}

WaitResult WebSerialPort::WaitForInput(std::chrono::milliseconds limit) {
  return WaitResultOf(vexo_line_wait(1, LimitMs(limit)));
}

WaitResult WebSerialPort::WaitForBytes(std::size_t count, std::chrono::milliseconds limit) {
  const int wanted = count == 0 ? 1 : static_cast<int>(std::min<std::size_t>(count, 0x7fffffff));
  return WaitResultOf(vexo_line_wait(wanted, LimitMs(limit)));
}

int WebSerialPort::LineRate() const {
  return vexo_line_rate();
}

void WebSerialPort::Abort() {
  vexo_line_abort();
}

}  // namespace vexo::web
