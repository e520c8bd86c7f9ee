// The names of `vexo-flash --json`: its event names and the keys of their
// fields (docs/json-events.md describes them). The writer (tools/flash's
// JsonEvents) and both readers (a several-port vexo-flash, the batch window)
// spell them from here. Names only: no parsing, no state, no Qt.
#pragma once

namespace vexo::job_event {

inline constexpr int kVersion = 1;

// The event names, the value of key::kEvent.
namespace name {
inline constexpr char kStart[] = "start";
inline constexpr char kPhase[] = "phase";
inline constexpr char kProgress[] = "progress";
inline constexpr char kMessage[] = "message";
inline constexpr char kIdentity[] = "identity";
inline constexpr char kEnd[] = "end";
}  // namespace name

namespace key {
// On every event; "port" only when several radios are flashed (and on start).
inline constexpr char kVersion[] = "v";
inline constexpr char kTime[] = "t";  // ms since the job began
inline constexpr char kEvent[] = "event";
inline constexpr char kPort[] = "port";
// start
inline constexpr char kDevice[] = "device";
inline constexpr char kUsbSerial[] = "usb_serial";
inline constexpr char kRate[] = "rate";
inline constexpr char kMode[] = "mode";
inline constexpr char kFile[] = "file";
inline constexpr char kSha256[] = "sha256";
inline constexpr char kRecords[] = "records";
// phase: its name; progress: the phase it counts, done of total
inline constexpr char kName[] = "name";
inline constexpr char kPhase[] = "phase";
inline constexpr char kDone[] = "done";
inline constexpr char kTotal[] = "total";
// message: its text id (0 for none) and text; identity: the radio's reply
inline constexpr char kTextId[] = "id";
inline constexpr char kText[] = "text";
inline constexpr char kHex[] = "hex";
// end
inline constexpr char kResult[] = "result";  // JobResultText: completed, stopped, failed
inline constexpr char kExitStatus[] = "exit_status";
inline constexpr char kClosingConfirmed[] = "closing_confirmed";
inline constexpr char kHistoryRow[] = "history_row";
inline constexpr char kHistoryHead[] = "history_head";
}  // namespace key

}  // namespace vexo::job_event
