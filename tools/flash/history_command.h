// The history commands of vexo-flash: --history [N] (the newest jobs as a
// table), --history-check [--expect-head HEAD] (walk the chain of digests)
// and --history-export csv|json FILE, each on --history-file or the default
// history, which they open for reading only. Prints to the streams given;
// returns the exit status: 0 done, 1 the history is broken, damaged or cannot
// be read or written to FILE, 2 a usage error, FILE included when it is the
// history, a file in keep or an existing file other than an export. Exports
// are written a row at a time: memory does not grow with the history.
#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace vexo {

struct HistoryCommand {
  enum class Action { kList, kCheck, kExport };
  Action action = Action::kList;
  int count = kDefaultRecentJobs;        // kList
  std::string export_format;             // kExport: "csv" or "json"
  std::string export_file;               // kExport: "-" for standard output
  std::string history_file;              // empty: DefaultHistoryPath()
  std::optional<ChainHead> expect_head;  // kCheck: the chain must still reach it
  std::vector<std::string> keep;  // kExport: files never to overwrite besides the history
};

inline constexpr int kHistoryExitOk = 0;
inline constexpr int kHistoryExitFailed = 1;
inline constexpr int kHistoryExitUsage = 2;

int RunHistoryCommand(const HistoryCommand& command, std::ostream& out = std::cout,
                      std::ostream& err = std::cerr);

}  // namespace vexo
