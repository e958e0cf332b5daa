// Reading and updating ini files as text, keeping every unrelated section, key and comment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// An ini document held as its lines, so that writing a key changes only that key's line.
// Section and key names compare without regard to ASCII case, as the platform's ini
// functions do; values are taken as written after "=", with surrounding blanks and one
// pair of matching enclosing quotes removed.
class TIniDocument {
 public:
  TIniDocument() = default;
  explicit TIniDocument(std::string_view text);

  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;
  void Write(std::string_view section, std::string_view key, const std::string& value);

  // The whole document, lines joined with CR LF.
  std::string Text() const;

 private:
  // Index of the line that opens `section`, or npos.
  size_t FindSection(std::string_view section) const;
  // One past the last line belonging to the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  // Index of the key's line within the section body, or npos.
  size_t FindKey(size_t header, std::string_view key) const;

  std::vector<std::string> lines_;
  bool bom_ = false;  // a UTF-8 byte-order mark that is written back as found
};

// Loads an ini file; a missing or unreadable file reads as an empty document.
TIniDocument LoadIniFile(const std::string& path);

}  // namespace pelorin
