// Reading and updating ini files as text, keeping every unrelated section, key and comment.
#include "uIniFile.h"

#include "uFileIO.h"
#include "uText.h"

namespace pelorin {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FindNoCase(a, b) == 0;
}

// The name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view t = TrimView(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimView(t.substr(1, close - 1));
}

// A value written in one pair of matching quotes stands for the text inside them, as the
// platform's own ini functions read it ("C:\Program Files\...\obabel.exe").
std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return std::string(value.substr(1, value.size() - 2));
  return std::string(value);
}

bool IsComment(std::string_view line) {
  std::string_view t = TrimView(line);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

TIniEncoding DetectEncoding(std::string_view bytes) {
  if (StartsWith(bytes, kUtf8Bom)) return TIniEncoding::Utf8Bom;
  if (StartsWith(bytes, kUtf16LeBom)) return TIniEncoding::Utf16LeBom;
  return TIniEncoding::Ansi;
}

// Little-endian UTF-16 bytes as UTF-8; an odd last byte is no character and is dropped.
std::string Utf16LeBytesToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16LeBytes(std::string_view text) {
  std::string bytes;
  for (char16_t unit : Utf8ToUtf16(text)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

TIniDocument::TIniDocument(std::string_view bytes) : encoding_(DetectEncoding(bytes)) {
  std::string decoded;
  std::string_view text = bytes;
  if (encoding_ == TIniEncoding::Utf8Bom) {
    text.remove_prefix(kUtf8Bom.size());
  } else if (encoding_ == TIniEncoding::Utf16LeBom) {
    decoded = Utf16LeBytesToUtf8(bytes.substr(kUtf16LeBom.size()));
    text = decoded;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines_.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
}

size_t TIniDocument::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i]);
    if (name && EqualNoCase(*name, section)) return i;
  }
  return std::string::npos;
}

size_t TIniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && !SectionName(lines_[i])) ++i;
  return i;
}

size_t TIniDocument::FindKey(size_t header, std::string_view key) const {
  for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    if (IsComment(lines_[i])) continue;
    size_t eq = lines_[i].find('=');
    if (eq != std::string::npos && EqualNoCase(TrimView(std::string_view(lines_[i]).substr(0, eq)), key)) return i;
  }
  return std::string::npos;
}

std::optional<std::string> TIniDocument::Read(std::string_view section, std::string_view key) const {
  size_t header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  size_t at = FindKey(header, key);
  if (at == std::string::npos) return std::nullopt;
  return FromLineText(Unquote(TrimView(std::string_view(lines_[at]).substr(lines_[at].find('=') + 1))));
}

std::string TIniDocument::FromLineText(std::string_view text) const {
  return encoding_ == TIniEncoding::Ansi ? std::string(text) : Utf8ToAnsi(text);
}

std::string TIniDocument::ToLineText(const std::string& value) const {
  return encoding_ == TIniEncoding::Ansi ? value : AnsiToUtf8(value);
}

std::string TIniDocument::ReadString(std::string_view section, std::string_view key,
                                     const std::string& fallback) const {
  auto value = Read(section, key);
  return value ? *value : fallback;
}

void TIniDocument::Write(std::string_view section, std::string_view key, const std::string& value) {
  if (Read(section, key) == value) return;
  std::string line = std::string(key) + "=" + ToLineText(value);
  size_t header = FindSection(section);
  if (header == std::string::npos) {
    if (!lines_.empty() && !TrimView(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(line);
    return;
  }
  size_t at = FindKey(header, key);
  if (at != std::string::npos) {
    lines_[at] = line;
    return;
  }
  // Append after the section's last non-blank line, so blank separators stay in place.
  size_t insert = SectionEnd(header);
  while (insert > header + 1 && TrimView(lines_[insert - 1]).empty()) --insert;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), line);
}

std::string TIniDocument::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  switch (encoding_) {
    case TIniEncoding::Utf8Bom:
      return std::string(kUtf8Bom) + text;
    case TIniEncoding::Utf16LeBom:
      return std::string(kUtf16LeBom) + Utf8ToUtf16LeBytes(text);
    default:
      return text;
  }
}

TIniDocument LoadIniFile(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  return bytes ? TIniDocument(*bytes) : TIniDocument();
}

}  // namespace pelorin
