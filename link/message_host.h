// Where the engine shows a message: a box with caption "VEXO" and one OK
// button in the window, a line on standard error on the command line. The
// call returns when the user has dismissed the message.
#pragma once

#include <string>

#include "app/text_ids.h"

namespace vexo {

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  // The id of the text about to be shown, for hosts that keep a record of
  // what was said; nothing by default.
  virtual void NoteMessageId(TextId id) { (void)id; }
};

// Shows the text of id in the current language, with reason (the system's
// words, what to do) on the lines after it when there is one.
void ShowTextMessage(MessageHost& host, TextId id, const std::string& reason = {});

}  // namespace vexo
