// Small 8-bit string helpers shared by every module.
#include "uText.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelorin {

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlankChar(s[b])) ++b;
  while (e > b && IsBlankChar(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Trim(std::string_view s) {
  return std::string(TrimView(s));
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerAsciiChar(c);
  return r;
}

size_t FindNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                        [](char a, char b) { return LowerAsciiChar(a) == LowerAsciiChar(b); });
  return it == haystack.end() && !needle.empty() ? std::string_view::npos : static_cast<size_t>(it - haystack.begin());
}

std::string RemoveFirstNoCase(std::string_view s, std::string_view needle) {
  size_t at = FindNoCase(s, needle);
  std::string r(s);
  if (at != std::string_view::npos && !needle.empty()) r.erase(at, needle.size());
  return r;
}

std::string ReplaceAll(std::string_view s, char from, char to) {
  std::string r(s);
  std::replace(r.begin(), r.end(), from, to);
  return r;
}

std::vector<std::string> SplitWhite(std::string_view s) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlankChar(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsBlankChar(s[i])) ++i;
    if (i > start) fields.emplace_back(s.substr(start, i - start));
  }
  return fields;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

#ifdef _WIN32

static std::wstring CodePageToWide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, nullptr, nullptr);
  return ansi;
}

std::wstring AnsiToWide(std::string_view ansi) {
  return CodePageToWide(ansi, CP_ACP);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return std::string(utf8);
  return WideToAnsi(CodePageToWide(utf8, CP_UTF8));
}

std::string SystemErrorText(unsigned long code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : "error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

#else

std::string Utf8ToAnsi(std::string_view utf8) {
  return std::string(utf8);
}

#endif

}  // namespace pelorin
