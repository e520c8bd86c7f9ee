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
};
// clang-format on

}  // namespace vexo
