// Where the engine shows a message: a box with caption "VEXO" and one OK
// button in the window, a line on standard error on the command line. The
// call returns when the user has dismissed the message.
#pragma once

#include <string>

namespace vexo {

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace vexo
