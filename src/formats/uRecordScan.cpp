// Records of multi-record files: the scanner of each rule, and how a record's text is delivered.
#include "formats/uRecordScan.h"

#include <cstring>

#include "formats/uTextScan.h"

namespace pelorin {

TRecordScanner::TRecordScanner(TRecordRule rule, size_t maxLine) : scanner_(RowOf(rule).MakeScanner(maxLine)) {}

void RecordText(const char* begin, const char* end, std::string& text, std::vector<const char*>& lineBreaks) {
  // First the breaks that are not CR LF already, so the text is allocated once at its size.
  lineBreaks.clear();
  TBreakFinder breaks(begin, end);
  bool lastLineOpen = false;
  for (const char* p = begin; p < end;) {
    const char* lineBreak = breaks.Next(p);
    if (lineBreak == end) {
      lastLineOpen = true;
      break;
    }
    bool crlf = *lineBreak == '\r' && lineBreak + 1 < end && lineBreak[1] == '\n';
    if (!crlf) lineBreaks.push_back(lineBreak);
    p = lineBreak + (crlf ? 2 : 1);
  }
  text.resize(static_cast<size_t>(end - begin) + lineBreaks.size() + (lastLineOpen ? 2 : 0));
  char* out = text.data();
  for (const char* lineBreak : lineBreaks) {
    size_t length = static_cast<size_t>(lineBreak - begin);
    std::memcpy(out, begin, length);
    out[length] = '\r';
    out[length + 1] = '\n';
    out += length + 2;
    begin = lineBreak + 1;
  }
  std::memcpy(out, begin, static_cast<size_t>(end - begin));
  if (lastLineOpen) {
    char* lineEnd = out + (end - begin);
    lineEnd[0] = '\r';
    lineEnd[1] = '\n';
  }
}

void DeliverRecordText(TRecordRule rule, const char* begin, const char* end, std::string& text,
                       std::vector<const char*>& lineBreaks) {
  const auto start = RowOf(rule).RecordTextStart;
  RecordText(start ? start(begin, end) : begin, end, text, lineBreaks);
}

}  // namespace pelorin
