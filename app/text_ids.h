// Numbers of every user-visible text. A text is stored in language.sys under
// the key TextId + LanguageBase, so one number names the Chinese and the
// English version of the same text.
#pragma once

namespace vexo {

using TextId = int;

inline constexpr int kLanguageChinese = 100000;
inline constexpr int kLanguageEnglish = 200000;

namespace text {
inline constexpr TextId kFileUnreadable = 2011;      // message: file exists, cannot be read
inline constexpr TextId kExchangeFailed = 3006;      // message: wrong reply / step failed
inline constexpr TextId kNoReplyInTime = 3009;       // message: no complete reply in time
inline constexpr TextId kReadBackChecksum = 3010;    // message: read-back reply checksum wrong
inline constexpr TextId kPortOpenFailed = 3012;      // message: serial port cannot be opened
inline constexpr TextId kDownloadComplete = 3025;    // message: job reached its end
inline constexpr TextId kPortCaption = 6000;         // label 1002
inline constexpr TextId kBaudCaption = 6001;         // label 1003
inline constexpr TextId kOpenFileCaption = 6002;     // button 1011
inline constexpr TextId kExitCaption = 6003;         // button 1006
inline constexpr TextId kStatusLoading = 6004;       // status label while loading the file
inline constexpr TextId kStatusVerifying = 6006;     // status label during read-back
inline constexpr TextId kFileMissing = 6007;         // message: firmware file does not exist
inline constexpr TextId kEraseRefused = 6009;        // message: erase answered with another byte
inline constexpr TextId kStatusProgramming = 6010;   // status label during programming
inline constexpr TextId kFlashDiffers = 6011;        // message: flash differs from the image
inline constexpr TextId kStatusIdleCaption = 6012;   // status label caption
inline constexpr TextId kModelCaption = 6013;        // label 1016
inline constexpr TextId kBusyIndicator = 6017;       // busy indicator text during the erase
inline constexpr TextId kInformationCaption = 6020;  // group 1024
inline constexpr TextId kRadioCaption = 6021;        // label 1025
inline constexpr TextId kVersionCaption = 6022;      // label 1022
inline constexpr TextId kVerifyUnreachable = 7001;   // message: E.P.R refused, records above 0xFFFF
inline constexpr TextId kRecordsOverlap = 7002;      // message: two records write one address
inline constexpr TextId kTrailingBytes = 7003;       // log note: bytes after the last record
inline constexpr TextId kStopWarning = 7004;         // line: a stop now leaves no firmware
inline constexpr TextId kStoppedUntouched = 7005;    // line: stopped before the erase
inline constexpr TextId kStoppedUnfinished = 7006;   // line: stopped after the erase began
inline constexpr TextId kSettingsNotSaved = 7007;    // message: system.ini could not be saved
inline constexpr TextId kStatusJobStopped = 7020;    // status label after a job stopped early
inline constexpr TextId kLateBytesDiscarded = 7021;  // log note: late reply bytes dropped
inline constexpr TextId kSetupCheckTitle = 7200;     // dialog title of the set-up check
inline constexpr TextId kSetupCheckAgain = 7201;     // button: run the check again
inline constexpr TextId kSetupCheckProbe = 7202;     // button: check and probe the radio
inline constexpr TextId kSetupCheckClose = 7203;     // button: close the dialog
inline constexpr TextId kSetupCheckResultHeading = 7204;  // column heading: ok / warning / problem
inline constexpr TextId kSetupCheckWhatHeading = 7205;    // column heading: what was checked
inline constexpr TextId kSetupCheckFixHeading = 7206;     // column heading: what to do
inline constexpr TextId kSetupCheckRunning = 7207;        // status while the check runs
inline constexpr TextId kSetupCheckReady = 7208;          // status: nothing blocks a download
inline constexpr TextId kSetupCheckBlocked = 7209;        // status: some problem blocks a download
inline constexpr TextId kSetupCheckOk = 7210;             // result word of a passed check
inline constexpr TextId kSetupCheckWarning = 7211;        // result word of a warning
inline constexpr TextId kSetupCheckProblem = 7212;        // result word of a problem
inline constexpr TextId kSetupCheckMenu = 7213;           // context menu entry opening the check
inline constexpr TextId kSaveLogEntry = 7220;             // log box context menu: save the log
inline constexpr TextId kLogNotSaved = 7221;              // message: the log could not be saved
inline constexpr TextId kHistoryMenu = 7138;              // context menu entry opening the history
inline constexpr TextId kHistoryAboutNote = 7139;     // about box: where the history is and Ctrl+H
inline constexpr TextId kHistoryNotRecorded = 7100;   // message: job not recorded; reason follows
inline constexpr TextId kHistoryTitle = 7101;         // history dialog title
inline constexpr TextId kHistoryFilterHint = 7102;    // history filter box placeholder
inline constexpr TextId kHistoryColumnTime = 7103;    // history column
inline constexpr TextId kHistoryColumnPort = 7104;    // history column
inline constexpr TextId kHistoryColumnSerial = 7105;  // history column
inline constexpr TextId kHistoryColumnFile = 7106;    // history column
inline constexpr TextId kHistoryColumnMode = 7107;    // history column
inline constexpr TextId kHistoryColumnResult = 7108;  // history column
inline constexpr TextId kHistoryColumnDuration = 7109;     // history column
inline constexpr TextId kHistoryColumnLastMessage = 7110;  // history column
inline constexpr TextId kHistoryExportCsv = 7111;          // history button
inline constexpr TextId kHistoryClose = 7112;              // history button
inline constexpr TextId kHistoryPhases = 7113;             // history details heading
inline constexpr TextId kHistoryMessages = 7114;           // history details heading
inline constexpr TextId kHistoryIdentity = 7115;           // history details label
inline constexpr TextId kHistoryOpenFailed = 7116;     // history cannot be opened; reason follows
inline constexpr TextId kHistoryExportFailed = 7117;   // export failed; the file name follows
inline constexpr TextId kHistoryNewerSchema = 7118;    // history file from a newer version
inline constexpr TextId kHistoryKeptAside = 7119;      // damaged file kept aside; its name follows
inline constexpr TextId kHistoryReadOnlyFile = 7120;   // history file cannot be written
inline constexpr TextId kHistoryCompleted = 7121;      // job result
inline constexpr TextId kHistoryStopped = 7122;        // job result
inline constexpr TextId kHistoryInterrupted = 7123;    // job result
inline constexpr TextId kHistoryFailed = 7140;         // job result
inline constexpr TextId kHistoryNotConfirmed = 7124;   // completed, closing not confirmed
inline constexpr TextId kHistoryAt9600 = 7125;         // completed job: faster rate declined
inline constexpr TextId kHistoryProgram = 7126;        // history details label
inline constexpr TextId kHistoryUser = 7127;           // history details label
inline constexpr TextId kHistoryDevice = 7128;         // history details label
inline constexpr TextId kHistoryBaud = 7129;           // history details label
inline constexpr TextId kHistoryFirmware = 7130;       // history details label
inline constexpr TextId kHistoryReadBack = 7131;       // history details label
inline constexpr TextId kHistoryPagesCompared = 7132;  // history details: pages compared
inline constexpr TextId kHistoryFirstDifference = 7133;  // history details: first differing address
inline constexpr TextId kHistoryRetries = 7134;          // history details: retries of a phase
inline constexpr TextId kHistoryBytes = 7135;            // history details: bytes sent / received
inline constexpr TextId kHistoryModel = 7136;            // history details label
inline constexpr TextId kHistoryChain = 7137;            // history details label
inline constexpr TextId kBatchTitle = 7300;              // batch window title
inline constexpr TextId kBatchMenu = 7301;        // context menu entry opening the batch window
inline constexpr TextId kBatchFirmware = 7302;    // batch window label
inline constexpr TextId kBatchChooseFile = 7303;  // batch window button
inline constexpr TextId kBatchFileFacts = 7304;  // firmware facts: %1 bytes, %2 records, %3 SHA-256
inline constexpr TextId kBatchRate = 7305;       // batch window label
inline constexpr TextId kBatchMode = 7306;       // batch window label
inline constexpr TextId kBatchModel = 7307;      // batch window label
inline constexpr TextId kBatchStart = 7308;      // button: start every ticked lane
inline constexpr TextId kBatchAgainFailed = 7309;   // button: run every failed lane again
inline constexpr TextId kBatchAgain = 7310;         // lane button: run this lane again
inline constexpr TextId kBatchStop = 7311;          // lane button: stop this lane
inline constexpr TextId kBatchTakePart = 7312;      // lane check box: take part in Start
inline constexpr TextId kBatchAutoStart = 7313;     // lane check box: start when plugged in
inline constexpr TextId kBatchSummary = 7314;       // summary: %1 completed, %2 stopped, %3 failed
inline constexpr TextId kBatchCompleted = 7315;     // lane result
inline constexpr TextId kBatchStopped = 7316;       // lane result
inline constexpr TextId kBatchFailed = 7317;        // lane result: the job failed
inline constexpr TextId kBatchRunning = 7318;       // lane result while its job runs
inline constexpr TextId kBatchNotConnected = 7319;  // lane: its cable is not plugged in
inline constexpr TextId kBatchConfirmStop = 7320;   // question: stop lane %1 during the write
inline constexpr TextId kBatchConfirmClose = 7321;  // question: close while %1 are written
inline constexpr TextId kBatchChildDied = 7322;  // lane reason: child ended without a result (%1)
inline constexpr TextId kBatchBadEvent =
    7323;  // lane reason: child wrote a line that is no event (%1)
inline constexpr TextId kBatchCannotStart = 7324;  // lane reason: child cannot be started (%1)
inline constexpr TextId kBatchNoFirmware = 7325;   // message: no readable firmware file chosen
inline constexpr TextId kBatchAddPort = 7326;      // label: add a port as a lane by hand
inline constexpr TextId kBatchAdd = 7327;          // button: add the chosen port
inline constexpr TextId kBatchTimes = 7328;        // lane time: %1 elapsed, %2 left
inline constexpr TextId kBatchHandshake = 7329;    // phase name
inline constexpr TextId kBatchErase = 7330;        // phase name
inline constexpr TextId kBatchProgramming = 7331;  // phase name
inline constexpr TextId kBatchReadBack = 7332;     // phase name
inline constexpr TextId kBatchClosing = 7333;      // phase name
inline constexpr TextId kBatchNoLanes = 7334;      // no cable found
inline constexpr TextId kBatchProgressName =
    7335;  // accessible name of a lane's bar, the port follows
inline constexpr TextId kBatchResultName =
    7336;  // accessible name of a lane's result, the port follows
inline constexpr TextId kBatchExitStatus = 7337;   // reason detail: exit status %1
inline constexpr TextId kBatchSignal = 7338;       // reason detail: ended by signal %1
inline constexpr TextId kBatchPhaseName = 7339;    // lane column and accessible name: phase
inline constexpr TextId kBatchMessageName = 7340;  // lane column and accessible name: last message
inline constexpr TextId kBatchTimeName = 7341;     // lane column and accessible name: time
inline constexpr TextId kBatchEndedDuring = 7342;  // lane phase column: %1 result, %2 phase
inline constexpr TextId kPageTitle = 8000;         // page title and heading
inline constexpr TextId kPageChoosePort = 8001;    // button: the browser's port picker
inline constexpr TextId kPageAllPorts = 8002;      // check box: the picker offers every serial port
inline constexpr TextId kPageNoPort = 8003;        // port list entry when none is chosen
inline constexpr TextId kPageDropHint = 8004;      // drop zone
inline constexpr TextId kPageAddresses = 8005;  // firmware facts: lowest %1 and highest %2 address
inline constexpr TextId kPageGoOn = 8006;       // button: do not stop, the job goes on
inline constexpr TextId kPageOk = 8007;         // message box button
inline constexpr TextId kPageLanguage = 8008;   // label of the language choice
inline constexpr TextId kPageChineseName = 8009;          // language choice entry
inline constexpr TextId kPageEnglishName = 8010;          // language choice entry
inline constexpr TextId kPageSaveEvents = 8011;           // button: save the job's events
inline constexpr TextId kPageJobsTitle = 8012;            // heading of the job list
inline constexpr TextId kPageJobsExport = 8013;           // button: export the job list
inline constexpr TextId kPageJobsClear = 8014;            // button: empty the job list
inline constexpr TextId kPageJobsEmpty = 8015;            // job list without jobs
inline constexpr TextId kPageNoSerial = 8016;             // notice: the browser has no Web Serial
inline constexpr TextId kPageChoosePortFirst = 8017;      // message: a job needs a port
inline constexpr TextId kPagePickerCancelled = 8018;      // troubleshooting: picker closed, no port
inline constexpr TextId kPageTroubleTitle = 8019;         // troubleshooting heading
inline constexpr TextId kPageTroubleWindows = 8020;       // troubleshooting, Windows
inline constexpr TextId kPageTroubleDialout = 8021;       // troubleshooting, Linux group
inline constexpr TextId kPageTroubleSnap = 8022;          // troubleshooting, Linux snap browser
inline constexpr TextId kPageTroubleMac = 8023;           // troubleshooting, macOS
inline constexpr TextId kPageTroubleOtherProgram = 8024;  // troubleshooting, everywhere
inline constexpr TextId kPageTroubleCable = 8025;         // troubleshooting, everywhere
inline constexpr TextId kPageTroubleBootMode = 8026;      // troubleshooting, everywhere
inline constexpr TextId kPageElapsed = 8027;              // label of the elapsed time
inline constexpr TextId kPageRemaining = 8028;            // label of the remaining time
inline constexpr TextId kPageInstall = 8029;              // button: install the page as an app
inline constexpr TextId kPageLogTitle = 8030;  // heading and accessible name of the log box
inline constexpr TextId kPageHide = 8031;      // button: hide the troubleshooting panel
inline constexpr TextId kPageMode = 8032;      // heading of the job buttons
}  // namespace text

// Every id the language file must carry, in table order.
// clang-format off
inline constexpr TextId kAllTextIds[] = {
    text::kFileUnreadable,
    text::kExchangeFailed,
    text::kNoReplyInTime,
    text::kReadBackChecksum,
    text::kPortOpenFailed,
    text::kDownloadComplete,
    text::kPortCaption,
    text::kBaudCaption,
    text::kOpenFileCaption,
    text::kExitCaption,
    text::kStatusLoading,
    text::kStatusVerifying,
    text::kFileMissing,
    text::kEraseRefused,
    text::kStatusProgramming,
    text::kFlashDiffers,
    text::kStatusIdleCaption,
    text::kModelCaption,
    text::kBusyIndicator,
    text::kInformationCaption,
    text::kRadioCaption,
    text::kVersionCaption,
    text::kVerifyUnreachable,
    text::kRecordsOverlap,
    text::kTrailingBytes,
    text::kStopWarning,
    text::kStoppedUntouched,
    text::kStoppedUnfinished,
    text::kSettingsNotSaved,
    text::kStatusJobStopped,
    text::kLateBytesDiscarded,
    text::kSetupCheckTitle,
    text::kSetupCheckAgain,
    text::kSetupCheckProbe,
    text::kSetupCheckClose,
    text::kSetupCheckResultHeading,
    text::kSetupCheckWhatHeading,
    text::kSetupCheckFixHeading,
    text::kSetupCheckRunning,
    text::kSetupCheckReady,
    text::kSetupCheckBlocked,
    text::kSetupCheckOk,
    text::kSetupCheckWarning,
    text::kSetupCheckProblem,
    text::kSetupCheckMenu,
    text::kHistoryMenu,
    text::kHistoryAboutNote,
    text::kSaveLogEntry,
    text::kLogNotSaved,
    text::kHistoryNotRecorded,
    text::kHistoryTitle,
    text::kHistoryFilterHint,
    text::kHistoryColumnTime,
    text::kHistoryColumnPort,
    text::kHistoryColumnSerial,
    text::kHistoryColumnFile,
    text::kHistoryColumnMode,
    text::kHistoryColumnResult,
    text::kHistoryColumnDuration,
    text::kHistoryColumnLastMessage,
    text::kHistoryExportCsv,
    text::kHistoryClose,
    text::kHistoryPhases,
    text::kHistoryMessages,
    text::kHistoryIdentity,
    text::kHistoryOpenFailed,
    text::kHistoryExportFailed,
    text::kHistoryNewerSchema,
    text::kHistoryKeptAside,
    text::kHistoryReadOnlyFile,
    text::kHistoryCompleted,
    text::kHistoryStopped,
    text::kHistoryInterrupted,
    text::kHistoryNotConfirmed,
    text::kHistoryAt9600,
    text::kHistoryProgram,
    text::kHistoryUser,
    text::kHistoryDevice,
    text::kHistoryBaud,
    text::kHistoryFirmware,
    text::kHistoryReadBack,
    text::kHistoryPagesCompared,
    text::kHistoryFirstDifference,
    text::kHistoryRetries,
    text::kHistoryBytes,
    text::kHistoryModel,
    text::kHistoryChain,
    text::kHistoryFailed,
    text::kBatchTitle,
    text::kBatchMenu,
    text::kBatchFirmware,
    text::kBatchChooseFile,
    text::kBatchFileFacts,
    text::kBatchRate,
    text::kBatchMode,
    text::kBatchModel,
    text::kBatchStart,
    text::kBatchAgainFailed,
    text::kBatchAgain,
    text::kBatchStop,
    text::kBatchTakePart,
    text::kBatchAutoStart,
    text::kBatchSummary,
    text::kBatchCompleted,
    text::kBatchStopped,
    text::kBatchFailed,
    text::kBatchRunning,
    text::kBatchNotConnected,
    text::kBatchConfirmStop,
    text::kBatchConfirmClose,
    text::kBatchChildDied,
    text::kBatchBadEvent,
    text::kBatchCannotStart,
    text::kBatchNoFirmware,
    text::kBatchAddPort,
    text::kBatchAdd,
    text::kBatchTimes,
    text::kBatchHandshake,
    text::kBatchErase,
    text::kBatchProgramming,
    text::kBatchReadBack,
    text::kBatchClosing,
    text::kBatchNoLanes,
    text::kBatchProgressName,
    text::kBatchResultName,
    text::kBatchExitStatus,
    text::kBatchSignal,
    text::kBatchPhaseName,
    text::kBatchMessageName,
    text::kBatchTimeName,
    text::kBatchEndedDuring,
    text::kPageTitle,
    text::kPageChoosePort,
    text::kPageAllPorts,
    text::kPageNoPort,
    text::kPageDropHint,
    text::kPageAddresses,
    text::kPageGoOn,
    text::kPageOk,
    text::kPageLanguage,
    text::kPageChineseName,
    text::kPageEnglishName,
    text::kPageSaveEvents,
    text::kPageJobsTitle,
    text::kPageJobsExport,
    text::kPageJobsClear,
    text::kPageJobsEmpty,
    text::kPageNoSerial,
    text::kPageChoosePortFirst,
    text::kPagePickerCancelled,
    text::kPageTroubleTitle,
    text::kPageTroubleWindows,
    text::kPageTroubleDialout,
    text::kPageTroubleSnap,
    text::kPageTroubleMac,
    text::kPageTroubleOtherProgram,
    text::kPageTroubleCable,
    text::kPageTroubleBootMode,
    text::kPageElapsed,
    text::kPageRemaining,
    text::kPageInstall,
    text::kPageLogTitle,
    text::kPageHide,
    text::kPageMode,
};
// clang-format on

}  // namespace vexo
