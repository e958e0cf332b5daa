// The rules of records in one place: where a record ends, and how its text is delivered.
#include "formats/uRecordScan.h"

#include <algorithm>

#include "formats/uCMLFormat.h"
#include "formats/uMOL2Format.h"
#include "formats/uPDBFormat.h"
#include "formats/uTextScan.h"
#include "formats/uXYZFormat.h"

namespace pelorin {

namespace {

// The last line break in [p, end), or null. It is asked about what follows the chunk's last '$',
// usually a part of one record.
const char* LastLineBreak(const char* p, const char* end) {
  const char* last = nullptr;
  TBreakFinder breaks(p, end);
  while (p < end) {
    const char* lineBreak = breaks.Next(p);
    if (lineBreak == end) break;
    last = lineBreak;
    p = lineBreak + 1;
  }
  return last;
}

}  // namespace

TSDFRecordScanner::TLineState TSDFRecordScanner::Step(TLineState state, char c) {
  if (c == '$') return state < kMarkSoFar ? static_cast<TLineState>(state + 1) : kNotMark;
  if (!IsBlankChar(c)) return kNotMark;
  return state == kBlankSoFar || state == kMarkSoFar ? state : kNotMark;  // "$$ $$" is no mark
}

// Runs the line through the end-mark rule from p; stops at a line break, at the byte that
// rules the line out (state kNotMark), or at end.
const char* TSDFRecordScanner::MatchMark(TLineState& state, const char* p, const char* end) {
  for (; p < end; ++p) {
    if (IsLineBreak(*p)) return p;
    state = Step(state, *p);
    if (state == kNotMark) return p;
  }
  return end;
}

void TSDFRecordScanner::AddEnd(uint64_t offset, std::vector<uint64_t>& ends) {
  ends.push_back(offset);
  openHasText_ = false;
}

// Ends the record at the break of its end mark; returns where the next record starts, or end
// when the break is a CR that ends the chunk.
const char* TSDFRecordScanner::EndMarkLine(const char* lineBreak, const char* begin, const char* end,
                                           std::vector<uint64_t>& ends) {
  if (*lineBreak == '\r' && lineBreak + 1 == end) {
    markCR_ = true;
    return end;
  }
  const char* next = lineBreak + (*lineBreak == '\r' && lineBreak[1] == '\n' ? 2 : 1);
  AddEnd(offset_ + static_cast<uint64_t>(next - begin), ends);
  return next;
}

void TSDFRecordScanner::Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) {
  if (begin == end) return;
  const char* p = begin;
  if (markCR_) {
    markCR_ = false;
    if (*p == '\n') ++p;
    AddEnd(offset_ + static_cast<uint64_t>(p - begin), ends);
  }
  const char* openStart = p;  // where the bytes of the record still open begin
  const TLineState lineAtStart = line_;
  bool lineKnown = false;  // line_ already describes the line this chunk's end cuts
  // The line that the previous chunk cut, then each line that holds a '$' where a mark may start.
  const char* candidate = lineAtStart != kNotMark ? p : nullptr;
  TLineState state = lineAtStart;
  while (p < end) {
    if (!candidate) {
      candidate = FindByte(p, end, '$');
      if (candidate == end) break;
      const char* lineStart = candidate;
      while (lineStart > begin && IsBlankInLine(lineStart[-1])) --lineStart;
      bool startsLine = lineStart > begin ? IsLineBreak(lineStart[-1]) : lineAtStart == kBlankSoFar;
      if (!startsLine) {
        p = candidate + 1;
        candidate = nullptr;
        continue;
      }
      state = kBlankSoFar;
    }
    const char* stop = MatchMark(state, candidate, end);
    candidate = nullptr;
    if (stop == end) {
      line_ = state;
      lineKnown = true;
      p = end;
    } else if (state == kMarkSoFar) {  // stopped at the mark's line break
      p = openStart = EndMarkLine(stop, begin, end, ends);
    } else {
      p = stop;  // a break after fewer dollars, or the byte that ruled the line out
    }
  }
  if (markCR_) {
    line_ = kBlankSoFar;
  } else if (!lineKnown) {
    // No '$' at or after p: the cut line may still become a mark only if it began at or after
    // p - 1 (the break that p follows) and holds nothing but blanks.
    const char* lineBreak = LastLineBreak(p > begin ? p - 1 : p, end);
    line_ = lineBreak && std::all_of(lineBreak + 1, end, IsBlankInLine) ? kBlankSoFar : kNotMark;
  }
  if (!openHasText_) openHasText_ = HasNonBlank(openStart, end);
  offset_ += static_cast<uint64_t>(end - begin);
}

bool TSDFRecordScanner::Finish(std::vector<uint64_t>& ends) {
  bool marked = markCR_ || line_ == kMarkSoFar;  // the file ends in an end mark
  bool counts = marked || openHasText_;
  markCR_ = false;
  line_ = kBlankSoFar;
  if (counts) AddEnd(offset_, ends);
  return counts && !marked;
}

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

void TLineRecordScanner::Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) {
  if (begin == end) return;
  const char* p = begin;
  if (pendingCR_) {
    pendingCR_ = false;
    if (*p == '\n') ++p;
    ends.push_back(offset_ + static_cast<uint64_t>(p - begin));
  }
  TBreakFinder breaks(p, end);
  while (p < end) {
    const char* lineBreak = breaks.Next(p);
    if (!lineHasText_) lineHasText_ = HasNonBlank(p, lineBreak);
    if (lineBreak == end) break;
    const bool crEndsChunk = *lineBreak == '\r' && lineBreak + 1 == end;
    const char* next = lineBreak + (*lineBreak == '\r' && !crEndsChunk && lineBreak[1] == '\n' ? 2 : 1);
    if (lineHasText_) {
      // A CR that ends the chunk may have its LF in the next one: the end waits for it.
      if (crEndsChunk)
        pendingCR_ = true;
      else
        ends.push_back(offset_ + static_cast<uint64_t>(next - begin));
      lineHasText_ = false;
    }
    p = next;
  }
  offset_ += static_cast<uint64_t>(end - begin);
}

bool TLineRecordScanner::Finish(std::vector<uint64_t>& ends) {
  const bool open = lineHasText_;
  if (pendingCR_ || open) ends.push_back(offset_);
  pendingCR_ = lineHasText_ = false;
  return open;
}

TRecordScanner::TRecordScanner(TRecordRule rule, size_t maxLine) : rule_(rule) {
  switch (rule) {
    case TRecordRule::kMOL2:
      other_ = MakeMOL2RecordScanner(maxLine);
      break;
    case TRecordRule::kXYZ:
      other_ = MakeXYZRecordScanner(maxLine);
      break;
    case TRecordRule::kPDB:
      other_ = MakePDBRecordScanner(maxLine);
      break;
    case TRecordRule::kCML:
      other_ = MakeCMLRecordScanner();
      break;
    case TRecordRule::kSDF:
    case TRecordRule::kLines:
      break;
  }
}

bool RecordsEndAtLineBreaks(TRecordRule rule) {
  return rule != TRecordRule::kCML;
}

namespace {

// Where the first line holding anything but blanks starts, or end.
const char* FirstNonBlankLine(const char* begin, const char* end) {
  TBreakFinder breaks(begin, end);
  for (const char* p = begin; p < end;) {
    const char* lineBreak = breaks.Next(p);
    if (HasNonBlank(p, lineBreak)) return p;
    p = lineBreak + 1;
  }
  return end;
}

}  // namespace

void DeliverRecordText(TRecordRule rule, const char* begin, const char* end, std::string& text,
                       std::vector<const char*>& lineBreaks) {
  switch (rule) {
    case TRecordRule::kSDF:
    case TRecordRule::kMOL2:
    case TRecordRule::kPDB:
      return RecordText(begin, end, text, lineBreaks);
    case TRecordRule::kXYZ:
      return RecordText(FirstNonBlankLine(begin, end), end, text, lineBreaks);
    case TRecordRule::kCML:
      return RecordText(CMLMoleculeStart(begin, end), end, text, lineBreaks);
    case TRecordRule::kLines:
      break;
  }
  text.clear();
  TBreakFinder breaks(begin, end);
  for (const char* p = begin; p < end;) {
    const char* lineBreak = breaks.Next(p);
    if (HasNonBlank(p, lineBreak)) {
      text.reserve(static_cast<size_t>(lineBreak - p) + 2);
      text.assign(p, lineBreak).append("\r\n");
      return;
    }
    p = lineBreak + 1;
  }
}

}  // namespace pelorin
