// The text-scanning toolkit: the parts that need no inlining.
#include "formats/uTextScan.h"

#include <charconv>
#include <cmath>

namespace pelorin {

size_t PieceSizeFor(std::FILE* f, size_t most) {
  return PieceSizeFor(FileSizeOf(f), most);
}

size_t PieceSizeFor(std::optional<uint64_t> size, size_t most) {
  const uint64_t known = size.value_or(most);
  return static_cast<size_t>(std::min<uint64_t>(most, std::max<uint64_t>(known + 1, 4096)));
}

std::string CannotOpenText(const std::string& fileName) {
  const char* reason = errno != 0 ? std::strerror(errno) : "unknown error";
  return "Cannot open file [" + fileName + "]: " + reason;
}

std::string CannotReadText(const std::string& fileName) {
  return "Cannot read file [" + fileName + "]";
}

std::string ReadStoppedText(const std::string& fileName) {
  return "Reading file [" + fileName + "] took too long";
}

std::string_view TrimLeftView(std::string_view s) {
  size_t first = 0;
  while (first < s.size() && IsBlankChar(s[first])) ++first;
  return s.substr(first);
}

const char* FirstNonBlankLine(const char* begin, const char* end) {
  TBreakFinder breaks(begin, end);
  for (const char* p = begin; p < end;) {
    const char* lineBreak = breaks.Next(p);
    if (HasNonBlank(p, lineBreak)) return p;
    p = lineBreak + 1;
  }
  return end;
}

std::string_view WordAt(std::string_view text, int index) {
  TWords words(text);
  std::string_view word;
  for (int i = 0; i <= index; ++i)
    if (!words.Next(word)) return {};
  return word;
}

std::optional<uint64_t> ParseCount(std::string_view text) {
  text = TrimView(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<bool> ParseDecimalIsNonZero(std::string_view text) {
  text = TrimView(text);
  size_t i = 0, n = text.size();
  auto isDigit = [&](size_t at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false, nonZero = false;
  auto mantissaDigits = [&] {
    for (; isDigit(i); ++i) {
      digits = true;
      nonZero = nonZero || text[i] != '0';
    }
  };
  mantissaDigits();
  if (i < n && text[i] == '.') {
    ++i;
    mantissaDigits();
  }
  if (!digits) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (!isDigit(i)) return std::nullopt;
    while (isDigit(i)) ++i;
  }
  if (i != n) return std::nullopt;
  return nonZero;
}

float ReadFloatWord(const char*& p, const char* end) {
  const char* start = p;
  // from_chars takes no leading plus, which number writers may put there.
  if (end - start > 1 && *start == '+' && start[1] != '-' && start[1] != '+') ++start;
  float value = 0;
  auto [stop, error] = std::from_chars(start, end, value);
  p = stop;
  // An infinite or NaN coordinate would poison bounds and renderers: such numbers count as none.
  if (error == std::errc() && (stop == end || IsNumberSeparator(*stop)) && std::isfinite(value)) return value;
  while (p < end && !IsNumberSeparator(*p)) ++p;
  return 0;
}

float ParseFloat(std::string_view text) {
  text = TrimView(text);
  const char* p = text.data();
  const char* end = p + text.size();
  float value = ReadFloatWord(p, end);
  return p == end ? value : 0;  // a separator inside: more than one word
}

}  // namespace pelorin
