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

}  // namespace

TIniDocument::TIniDocument(std::string_view text) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (StartsWith(text, kUtf8Bom)) {
    bom_ = true;
    text.remove_prefix(kUtf8Bom.size());
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
  return Unquote(TrimView(std::string_view(lines_[at]).substr(lines_[at].find('=') + 1)));
}

std::string TIniDocument::ReadString(std::string_view section, std::string_view key,
                                     const std::string& fallback) const {
  auto value = Read(section, key);
  return value ? *value : fallback;
}

void TIniDocument::Write(std::string_view section, std::string_view key, const std::string& value) {
  std::string line = std::string(key) + "=" + value;
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
  std::string text = bom_ ? "\xEF\xBB\xBF" : "";
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

TIniDocument LoadIniFile(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  return bytes ? TIniDocument(*bytes) : TIniDocument();
}

}  // namespace pelorin
