#include "history/history_texts.h"

#include "app/settings.h"

namespace vexo {

std::string NotRecordedText(const std::string& reason) {
  return LookupText(text::kHistoryNotRecorded) + " " + reason;
}

std::string HistoryNoticeText(const HistoryStore& store) {
  switch (store.notice_kind()) {
    case HistoryNotice::kNone:
      return {};
    case HistoryNotice::kKeptAside:
      return LookupText(text::kHistoryKeptAside) + " " + store.kept_aside_as();
    case HistoryNotice::kNewerSchema:
      return LookupText(text::kHistoryNewerSchema);
    case HistoryNotice::kReadOnlyFile:
      return LookupText(text::kHistoryReadOnlyFile);
  }
  return {};
}

}  // namespace vexo
