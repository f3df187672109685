// libFuzzer target for the settings file. Every input is read as a whole
// settings file and as one value. Parsing never fails outright; every
// stored value that decodes is stored again as a text that decodes to the
// same value; any value without a NUL byte survives the file (encoded,
// written under a name in a group, parsed and decoded, it is the same
// text); and a file that may be rewritten keeps every group and entry when
// it is written and read again.
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/settings_file/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameDocument(const vireon::IniDocument& a, const vireon::IniDocument& b) {
  if (a.sections.size() != b.sections.size()) return false;
  for (std::size_t i = 0; i < a.sections.size(); ++i) {
    const vireon::IniSection& x = a.sections[i];
    const vireon::IniSection& y = b.sections[i];
    if (x.name != y.name || x.entries.size() != y.entries.size()) return false;
    for (std::size_t k = 0; k < x.entries.size(); ++k) {
      if (x.entries[k].name != y.entries[k].name || x.entries[k].value != y.entries[k].value) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const IniReadResult file = ParseIniText(text);
  Check(file.status == IniStatus::kOk);
  for (const IniSection& section : file.document.sections) {
    for (const IniEntry& entry : section.entries) {
      const std::optional<std::string> value = DecodeIniValue(entry.value);
      if (value) Check(DecodeIniValue(EncodeIniValue(*value)) == value);
    }
  }

  if (text.find('\0') == std::string_view::npos) {
    const std::string stored = "[Group]\nName=" + EncodeIniValue(text) + "\n";
    const IniReadResult back = ParseIniText(stored);
    Check(back.errorLine == 0 && IsRewritable(back));
    const IniSection* group = back.document.Find("Group");
    Check(group != nullptr && group->Find("Name") != nullptr);
    Check(DecodeIniValue(*group->Find("Name")) == std::string(text));
  }

  if (IsRewritable(file)) {
    const IniReadResult again = ParseIniText(IniText(file.document));
    Check(IsRewritable(again));
    Check(SameDocument(again.document, file.document));
  }
  return 0;
}
