#include "link/message_host.h"

#include "app/settings.h"

namespace vexo {

void ShowTextMessage(MessageHost& host, TextId id, const std::string& reason) {
  std::string text = LookupText(id);
  if (!reason.empty()) text += "\n" + reason;
  host.NoteMessageId(id);
  host.ShowMessage(text);
}

}  // namespace vexo
