// What the hosts tell the user about the history, in the language in use
// (language.sys through LookupText): a job that was not recorded, and a file
// that was set aside or is read-only. Any thread; empty texts for kNone.
#pragma once

#include <string>

#include "history/history_store.h"

namespace vexo {

// "This job was not recorded in the history: <reason>".
std::string NotRecordedText(const std::string& reason);
std::string HistoryNoticeText(const HistoryStore& store);

}  // namespace vexo
