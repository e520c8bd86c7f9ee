// Numbers of every user-visible text. A text is stored in language.sys under
// the key TextId + LanguageBase, so one number names the Chinese and the
// English version of the same text.
#pragma once

namespace vexo {

using TextId = int;

inline constexpr int kLanguageChinese = 100000;
inline constexpr int kLanguageEnglish = 200000;

namespace text {
inline constexpr TextId kFileUnreadable = 2011;       // message: file exists, cannot be read
inline constexpr TextId kExchangeFailed = 3006;       // message: wrong reply / step failed
inline constexpr TextId kNoReplyInTime = 3009;        // message: no complete reply in time
inline constexpr TextId kReadBackChecksum = 3010;     // message: read-back reply checksum wrong
inline constexpr TextId kPortOpenFailed = 3012;       // message: serial port cannot be opened
inline constexpr TextId kDownloadComplete = 3025;     // message: job reached its end
inline constexpr TextId kPortCaption = 6000;          // label 1002
inline constexpr TextId kBaudCaption = 6001;          // label 1003
inline constexpr TextId kOpenFileCaption = 6002;      // button 1011
inline constexpr TextId kExitCaption = 6003;          // button 1006
inline constexpr TextId kStatusLoading = 6004;        // status label while loading the file
inline constexpr TextId kStatusVerifying = 6006;      // status label during read-back
inline constexpr TextId kFileMissing = 6007;          // message: firmware file does not exist
inline constexpr TextId kEraseRefused = 6009;         // message: erase answered with another byte
inline constexpr TextId kStatusProgramming = 6010;    // status label during programming
inline constexpr TextId kFlashDiffers = 6011;         // message: flash differs from the image
inline constexpr TextId kStatusIdleCaption = 6012;    // status label caption
inline constexpr TextId kModelCaption = 6013;         // label 1016
inline constexpr TextId kBusyIndicator = 6017;        // busy indicator text during the erase
inline constexpr TextId kInformationCaption = 6020;   // group 1024
inline constexpr TextId kRadioCaption = 6021;         // label 1025
inline constexpr TextId kVersionCaption = 6022;       // label 1022
inline constexpr TextId kStatusJobStopped = 7020;     // status label after a job stopped early
}  // namespace text

// Every id the language file must carry, in table order.
inline constexpr TextId kAllTextIds[] = {
    text::kFileUnreadable,    text::kExchangeFailed,    text::kNoReplyInTime,
    text::kReadBackChecksum,  text::kPortOpenFailed,    text::kDownloadComplete,
    text::kPortCaption,       text::kBaudCaption,       text::kOpenFileCaption,
    text::kExitCaption,       text::kStatusLoading,     text::kStatusVerifying,
    text::kFileMissing,       text::kEraseRefused,      text::kStatusProgramming,
    text::kFlashDiffers,      text::kStatusIdleCaption, text::kModelCaption,
    text::kBusyIndicator,     text::kInformationCaption, text::kRadioCaption,
    text::kVersionCaption,
    text::kStatusJobStopped,
};

}  // namespace vexo
