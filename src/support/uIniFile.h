// Reading and updating ini files as text, keeping every unrelated section, key and comment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// The encodings an ini file comes in (Notepad writes all three), told apart by the
// byte-order mark.
enum class TIniEncoding { Ansi, Utf8Bom, Utf16LeBom };

// An ini document held as its lines, so that writing a key changes only that key's line.
// Section and key names compare without regard to ASCII case, as the platform's ini
// functions do; values are taken as written after "=", with surrounding blanks and one
// pair of matching enclosing quotes removed.
// Values go in and out as the plugin's 8-bit (ANSI) strings. A file in UTF-8 or UTF-16
// keeps its lines as UTF-8 and is written back in its own encoding, so that the text of
// other sections survives even where the code page cannot represent it.
class TIniDocument {
 public:
  TIniDocument() = default;
  // The file's bytes, in any of the encodings above.
  explicit TIniDocument(std::string_view bytes);

  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;
  // A key that already reads as `value` keeps its line as written (quotes, and text
  // that the code page cannot represent, stay as they are).
  void Write(std::string_view section, std::string_view key, const std::string& value);

  // The whole document as file bytes in its encoding, lines joined with CR LF.
  std::string Text() const;

 private:
  // Index of the line that opens `section`, or npos.
  size_t FindSection(std::string_view section) const;
  // One past the last line belonging to the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  // Index of the key's line within the section body, or npos.
  size_t FindKey(size_t header, std::string_view key) const;

  // Values as the lines hold them, and back.
  std::string FromLineText(std::string_view text) const;
  std::string ToLineText(const std::string& value) const;

  std::vector<std::string> lines_;  // UTF-8 unless the encoding is Ansi
  TIniEncoding encoding_ = TIniEncoding::Ansi;
};

// Loads an ini file; a missing or unreadable file reads as an empty document.
TIniDocument LoadIniFile(const std::string& path);

}  // namespace pelorin
