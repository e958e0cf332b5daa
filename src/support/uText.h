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

// True when both texts are equal without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Case-insensitive (ASCII) search; npos when absent.
size_t FindNoCase(std::string_view haystack, std::string_view needle);

// Removes the first occurrence of needle, matched without regard to ASCII case.
std::string RemoveFirstNoCase(std::string_view s, std::string_view needle);

// Replaces every occurrence of `from` by `to`.
std::string ReplaceAll(std::string_view s, char from, char to);

// Splits at runs of white space (codes 0..32); no empty fields.
std::vector<std::string> SplitWhite(std::string_view s);
// Splits into lines at LF, CR LF and CR; an empty text is one empty line.
std::vector<std::string> SplitLines(const std::string& text);

bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);

// UTF-8 text to the 8-bit strings the plugin holds (the ANSI code page on
// Windows; unchanged elsewhere, where the system code page is UTF-8), and back.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// UTF-16 code units as UTF-8. An unpaired surrogate is written as a three-byte sequence of
// its own (as WTF-8 does), so that Utf8ToUtf16 gives back exactly the same code units.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 (or the form above) as UTF-16; a byte that starts no valid sequence gives U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

#ifdef _WIN32
std::string WideToAnsi(std::wstring_view wide);
std::wstring AnsiToWide(std::string_view ansi);
// A UTF-16 file name as the 8-bit name the plugin opens files by. A name that the ANSI
// code page cannot represent is taken through its short (8.3) form when there is one.
std::string FileNameToAnsi(const wchar_t* name);
// The platform's message text for an error code, without trailing line breaks.
std::string SystemErrorText(unsigned long code);
#endif

}  // namespace pelorin
