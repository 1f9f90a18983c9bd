#include "settings/registry_text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tk {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kSection = "[HKEY_CURRENT_USER\\Software\\Telkarim\\Telkarim's Screen Saver]";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = nl + 1;
  }
  return lines;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

bool IsOurSection(const std::string& line) { return EqualsIgnoreCase(Trim(line), kSection); }

// A value line: "Name"=data. Returns false for anything else.
bool ParseValueLine(const std::string& raw, std::string& name, std::string& data) {
  const std::string line = Trim(raw);
  if (line.size() < 3 || line[0] != '"') return false;
  std::string n;
  size_t i = 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    n += line[i];
  }
  if (i >= line.size() || i + 1 >= line.size() || line[i + 1] != '=') return false;
  name = n;
  data = line.substr(i + 2);
  return true;
}

SettingsStore::Value Interpret(const std::string& data) {
  SettingsStore::Value v;
  v.found = true;
  if (data.rfind("dword:", 0) == 0) {
    const std::string hex = data.substr(6);
    if (hex.size() == 8 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
      v.type = SettingsStore::kRegDword;
      v.size = 4;
      v.dword = static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    } else {
      v.type = 0;  // malformed: never a usable number
    }
  } else if (!data.empty() && data[0] == '"') {
    v.type = 1;  // a string
    v.size = static_cast<uint32_t>(data.size());
  } else if (data.rfind("hex(", 0) == 0) {
    v.type = static_cast<uint32_t>(std::strtoul(data.c_str() + 4, nullptr, 16));
    if (v.type == SettingsStore::kRegDword) v.type = 0x7FFFFFFF;  // raw bytes are not trusted as a number
  } else if (data.rfind("hex:", 0) == 0) {
    v.type = 3;  // binary
  }
  return v;
}

std::string FormatValue(const SettingsStore::NamedValue& v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v.value);
  return "\"" + v.name + "\"=dword:" + buf;
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

std::string MergeSettingsValues(const std::string& text, std::span<const SettingsStore::NamedValue> values) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty()) lines = {kHeader, ""};
  std::vector<bool> written(values.size(), false);
  size_t lastStart = lines.size(), lastEnd = lines.size();
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string t = Trim(lines[i]);
    if (!t.empty() && t[0] == '[') {
      if (inSection) lastEnd = i;
      inSection = IsOurSection(t);
      if (inSection) {
        lastStart = i;
        lastEnd = lines.size();
      }
      continue;
    }
    if (!inSection) continue;
    std::string n, data;
    if (!ParseValueLine(lines[i], n, data)) continue;
    for (size_t k = 0; k < values.size(); ++k) {
      if (EqualsIgnoreCase(n, values[k].name)) {
        lines[i] = FormatValue(values[k]);
        written[k] = true;
      }
    }
  }
  std::vector<std::string> missing;
  for (size_t k = 0; k < values.size(); ++k)
    if (!written[k]) missing.push_back(FormatValue(values[k]));
  if (lastStart == lines.size()) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back(kSection);
    lines.insert(lines.end(), missing.begin(), missing.end());
  } else {
    // Before the blank lines that separate the section from the next one.
    size_t at = lastEnd;
    while (at > lastStart + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), missing.begin(), missing.end());
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

SettingsStore::Value FindSettingsValue(const std::string& text, std::string_view name) {
  bool inSection = false;
  SettingsStore::Value found;
  for (const std::string& line : SplitLines(text)) {
    const std::string t = Trim(line);
    if (!t.empty() && t[0] == '[') {
      inSection = IsOurSection(t);
      continue;
    }
    if (!inSection) continue;
    std::string n, data;
    if (ParseValueLine(line, n, data) && EqualsIgnoreCase(n, name)) found = Interpret(data);
  }
  return found;
}

bool DecodeSettingsText(const std::string& bytes, std::string& text, TextEncoding& encoding) {
  encoding = {};
  text.clear();
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // The registry editor's own export: UTF-16LE behind its mark.
    encoding.utf16 = true;
    if (bytes.size() % 2 != 0) return false;
    for (size_t i = 2; i < bytes.size(); i += 2) {
      uint32_t c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
      if (c >= 0xD800 && c <= 0xDBFF) {
        if (i + 3 >= bytes.size()) return false;
        const uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
        if (low < 0xDC00 || low > 0xDFFF) return false;
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        return false;
      }
      if (c == 0) return false;
      AppendUtf8(text, c);
    }
  } else {
    text = bytes;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
      encoding.utf8Bom = true;
      text.erase(0, 3);
    }
    if (text.find('\0') != std::string::npos) return false;
  }
  const size_t nl = text.find('\n');
  encoding.crlf = nl != std::string::npos && nl > 0 && text[nl - 1] == '\r';
  return true;
}

std::string EncodeSettingsText(const std::string& text, const TextEncoding& encoding) {
  std::string lines;
  for (const std::string& line : SplitLines(text)) lines += line + (encoding.crlf ? "\r\n" : "\n");
  if (!encoding.utf16) return (encoding.utf8Bom ? "\xEF\xBB\xBF" : "") + lines;
  // The text came from UTF-16 or is our own ASCII, so it is valid UTF-8.
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < lines.size();) {
    const unsigned char b = static_cast<unsigned char>(lines[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra && i + static_cast<size_t>(k) < lines.size(); ++k)
      c = c << 6 | (static_cast<unsigned char>(lines[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendUtf16(out, 0xD800 + (c >> 10));
      AppendUtf16(out, 0xDC00 + (c & 0x3FF));
    } else {
      AppendUtf16(out, c);
    }
  }
  return out;
}

}  // namespace tk
