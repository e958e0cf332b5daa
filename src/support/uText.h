// Small 8-bit string helpers shared by every module: trimming, case, splitting, code pages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// True for the characters the file formats treat as blank: codes 0..32.
inline bool IsBlankChar(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// Removes characters of code 32 and below from both ends.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);

// Lower-cases ASCII letters only; other bytes stay as they are.
inline char LowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
std::string LowerAscii(std::string_view s);

// Equal without regard to ASCII case. Inline: the SVG reader compares every keyword this way.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) return false;
  return true;
}

// Case-insensitive (ASCII) search; npos when absent.
size_t FindNoCase(std::string_view haystack, std::string_view needle);

// Removes the first occurrence of needle, matched without regard to ASCII case.
std::string RemoveFirstNoCase(std::string_view s, std::string_view needle);

// Replaces every occurrence of `from` by `to`.
std::string ReplaceAll(std::string_view s, char from, char to);

// Splits at runs of white space (codes 0..32); no empty fields.
std::vector<std::string> SplitWhite(std::string_view s);

bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);

// UTF-8 text to the 8-bit strings the plugin holds (the ANSI code page on
// Windows; unchanged elsewhere, where the system code page is UTF-8).
std::string Utf8ToAnsi(std::string_view utf8);

#ifdef _WIN32
std::string WideToAnsi(std::wstring_view wide);
std::wstring AnsiToWide(std::string_view ansi);
// The platform's message text for an error code, without trailing line breaks.
std::string SystemErrorText(unsigned long code);
#endif

}  // namespace pelorin
