#pragma once
// The registry's export format as text, with no file behind it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Telkarim\Telkarim's Screen Saver]
//   "StarColor"=dword:00ff9070
//
// Decoding turns the bytes of a file (UTF-8 or ANSI, or UTF-16LE behind its
// byte-order mark as the Windows registry editor exports it) into UTF-8 lines
// and remembers how they were stored, so encoding gives the same form back.
// Reading and merging work on that text only.
#include <span>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tk {

// How a file's text is stored on the disk.
struct TextEncoding {
  bool utf16 = false;   // UTF-16LE (always with its byte-order mark)
  bool utf8Bom = false; // UTF-8 with the mark
  bool crlf = false;    // lines end in CR LF
};

// Fails for bytes that are not a settings file at all: NUL characters, an
// odd number of UTF-16 bytes, or a lone surrogate. The text has '\n' line
// ends, its CRs left in place (the lines drop them).
bool DecodeSettingsText(const std::string& bytes, std::string& text, TextEncoding& encoding);
std::string EncodeSettingsText(const std::string& text, const TextEncoding& encoding);

// The value a load and an import would take: the last line of that name
// (names are case-insensitive) in our section, also across repeated copies
// of the section. Not found when there is none.
SettingsStore::Value FindSettingsValue(const std::string& text, std::string_view name);

// Our values go into every copy of our section that holds them, so that the
// last line of each name is the new one; names not there yet go at the end
// of the last copy, and an empty text gets the header and the section.
// Everything else, ours or not, stays as it was.
std::string MergeSettingsValues(const std::string& text, std::span<const SettingsStore::NamedValue> values);

// A store over a text in memory: what a save reads just before it writes.
// It only reads; Save fails.
class TextSettingsStore final : public SettingsStore {
 public:
  explicit TextSettingsStore(const std::string& text) : text_(text) {}
  bool Open() override { return true; }
  Value Query(std::string_view name) override { return FindSettingsValue(text_, name); }
  bool Save(std::span<const NamedValue>) override { return false; }

 private:
  const std::string& text_;
};

}  // namespace tk
