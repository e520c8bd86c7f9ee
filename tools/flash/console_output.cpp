#include "tools/flash/console_output.h"

namespace vexo {

void TerminalOutput::Message(const std::string& text) {
  progress_.Finish();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

}  // namespace vexo
