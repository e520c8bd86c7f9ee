// Language-file texts from any byte string: the UTF-8 check, the GBK decoder
// and the cut at a character boundary, then the whole lookup through a
// language file made of the input. Whatever the file holds, a looked-up text
// is well-formed UTF-8 of bounded length.
#include <string>

#include "app/ini_file.h"
#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_codec.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

constexpr std::size_t kReplacementBytes = 3;  // U+FFFD, the most one input byte can become

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vexo::fuzz::AsText(data, size);
  const bool valid = vexo::IsValidUtf8(text);

  const std::string decoded = vexo::Cp936ToUtf8(text);
  VEXO_FUZZ_CHECK(vexo::IsValidUtf8(decoded));
  if (IsAscii(text)) VEXO_FUZZ_CHECK(decoded == text && valid);

  const std::size_t limit = size > 0 ? data[0] : 0;
  const std::size_t prefix = vexo::Utf8PrefixLength(text, limit);
  VEXO_FUZZ_CHECK(prefix <= size);
  VEXO_FUZZ_CHECK(prefix <= limit || prefix == size);
  if (valid) {
    VEXO_FUZZ_CHECK(vexo::IsValidUtf8(text.substr(0, prefix)));
    if (size > limit) VEXO_FUZZ_CHECK(prefix + 3 >= limit);  // a character is at most 4 bytes
  }

  // The same bytes as the working directory's language file.
  vexo::AppState().WorkingDirectory = vexo::fuzz::ScratchDirectory::Path();
  vexo::fuzz::WriteBytes(vexo::fuzz::ScratchFile(vexo::kLanguageFileName), text);
  for (int base : {vexo::kLanguageChinese, vexo::kLanguageEnglish}) {
    vexo::AppState().LanguageBase = base;
    for (vexo::TextId id : {vexo::text::kPortCaption, vexo::text::kFileUnreadable}) {
      const std::string shown = vexo::LookupText(id);
      VEXO_FUZZ_CHECK(vexo::IsValidUtf8(shown));
      VEXO_FUZZ_CHECK(shown.size() <= vexo::kIniValueLimit * kReplacementBytes);
    }
  }
  return 0;
}
