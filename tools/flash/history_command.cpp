#include "tools/flash/history_command.h"

#include <fstream>
#include <optional>

#include "history/history_report.h"
#include "history/safe_text.h"
#include "tools/flash/output_path_refusal.h"

namespace vexo {
namespace {

constexpr char kStandardOutput[] = "-";

int List(HistoryStore& store, int count, std::ostream& out, std::ostream& err) {
  auto recent = store.Recent(count);
  if (!recent.ok()) {
    err << "vexo-flash: " << recent.error << '\n';
    return kHistoryExitFailed;
  }
  if (recent.value.empty()) {
    out << "No jobs recorded in " << store.path() << ".\n";
    return kHistoryExitOk;
  }
  WriteHistoryTable(out, recent.value);
  return kHistoryExitOk;
}

int Check(HistoryStore& store, const std::optional<ChainHead>& expect_head, std::ostream& out,
          std::ostream& err) {
  auto check = store.CheckChain(expect_head);
  if (!check.ok()) {
    err << "vexo-flash: " << check.error << '\n';
    return kHistoryExitFailed;
  }
  const ChainCheck& chain = check.value;
  if (!chain.intact()) {
    out << "History chain broken";
    if (chain.first_bad_row != 0) out << " at row #" << chain.first_bad_row;
    out << ": " << chain.reason << " (" << chain.rows_checked << " rows checked before it).\n";
    return kHistoryExitFailed;
  }
  out << "History chain intact: " << chain.rows_checked << " finished rows checked in "
      << store.path() << ".\n";
  // Kept elsewhere, this catches what no file can show by itself: rows cut
  // from its end.
  out << "Chain head: " << chain.head.Text() << '\n';
  return kHistoryExitOk;
}

// Writes every row, oldest first, as it is read; with no store, an empty
// export.
int Export(HistoryStore* store, const HistoryCommand& command, std::ostream& out,
           std::ostream& err) {
  std::ofstream file;
  std::ostream* target = &out;
  if (command.export_file != kStandardOutput) {
    file.open(command.export_file, std::ios::binary | std::ios::trunc);
    if (!file) {
      err << "vexo-flash: cannot write " << command.export_file << '\n';
      return kHistoryExitFailed;
    }
    target = &file;
  }
  HistoryStatus read;
  if (command.export_format == "csv") {
    HistoryCsvWriter writer(*target);
    if (store)
      read = store->ForEachJob({}, [&](const JobRecord& r) {
        writer.Write(r);
        return static_cast<bool>(*target);
      });
  } else {
    HistoryJsonWriter writer(*target);
    if (store)
      read = store->ForEachJob({}, [&](const JobRecord& r) {
        writer.Write(r);
        return static_cast<bool>(*target);
      });
    writer.Finish();
  }
  target->flush();
  if (!read.ok()) {
    err << "vexo-flash: " << read.error << '\n';
    return kHistoryExitFailed;
  }
  if (!*target) {
    err << "vexo-flash: cannot write " << command.export_file << '\n';
    return kHistoryExitFailed;
  }
  return kHistoryExitOk;
}

// An export replaces its file: never the history (nor its journals), a file
// in keep, or a file that is not an earlier export.
std::optional<std::string> ExportRefusal(const HistoryCommand& command, const std::string& path) {
  if (command.export_file == kStandardOutput) return std::nullopt;
  std::vector<std::string> keep = command.keep;
  for (const char* journal : {"", "-wal", "-shm", "-journal"}) keep.push_back(path + journal);
  const OutputKind export_kind{"the export file", "an export of the history", IsHistoryExportStart};
  return OutputPathRefusal(command.export_file, keep, export_kind);
}

}  // namespace

int RunHistoryCommand(const HistoryCommand& command, std::ostream& out, std::ostream& err) {
  using Action = HistoryCommand::Action;
  if (command.action == Action::kList && command.count <= 0) {
    err << "vexo-flash: --history takes a number of jobs above 0\n";
    return kHistoryExitUsage;
  }
  if (command.action == Action::kExport &&
      ((command.export_format != "csv" && command.export_format != "json") ||
       command.export_file.empty())) {
    err << "vexo-flash: --history-export takes csv or json and a file name (- for standard "
           "output)\n";
    return kHistoryExitUsage;
  }
  const std::string path =
      command.history_file.empty() ? DefaultHistoryPath() : command.history_file;
  if (command.action == Action::kExport) {
    if (std::optional<std::string> refusal = ExportRefusal(command, path)) {
      err << "vexo-flash: " << TerminalText(*refusal) << '\n';
      return kHistoryExitUsage;
    }
  }
  HistoryStore store;
  const HistoryStatus opened = store.OpenForReading(path);
  if (opened.kind == HistoryError::kMissing) {
    if (command.action == Action::kExport) return Export(nullptr, command, out, err);
    // A head kept from an earlier job cannot be reached by no history at all.
    if (command.action == Action::kCheck && command.expect_head && command.expect_head->rows > 0) {
      out << "History chain broken: there is no history at " << path << ", short of the head "
          << "given (" << command.expect_head->Text() << ").\n";
      return kHistoryExitFailed;
    }
    out << "No jobs recorded in " << path << ".\n";
    return kHistoryExitOk;
  }
  if (!store.notice().empty()) err << "vexo-flash: " << store.notice() << '\n';
  if (!opened.ok()) {
    err << "vexo-flash: " << opened.error << '\n';
    return kHistoryExitFailed;
  }
  switch (command.action) {
    case Action::kList:
      return List(store, command.count, out, err);
    case Action::kCheck:
      return Check(store, command.expect_head, out, err);
    case Action::kExport:
      return Export(&store, command, out, err);
  }
  return kHistoryExitUsage;
}

}  // namespace vexo
