// The text-scanning toolkit every reader and survey uses: lines (of a whole text, or of bytes fed
// in pieces cut anywhere), blank-separated words, fixed columns, counts and numbers, and a file
// fed in pieces.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/uFileIO.h"
#include "support/uStopToken.h"
#include "support/uText.h"

namespace pelorin {

// ---- Reading files ----

// Files are read in pieces of this size: large enough that a read costs little more than its
// copy, small enough to stay in the cache while it is looked at.
inline constexpr size_t kReadChunkSize = size_t{1} << 20;

// The piece size for an open file: `most`, or for a smaller file its size and a byte (though
// not under 4 KB): a small file needs no full-size piece, and one still growing while it is
// read is still read whole.
size_t PieceSizeFor(std::FILE* f, size_t most = kReadChunkSize);
// The same for a file of `size` bytes (nullopt: not known).
size_t PieceSizeFor(std::optional<uint64_t> size, size_t most = kReadChunkSize);

enum class TFeedResult : uint8_t { kRead, kCannotOpen, kCannotRead, kStopped };

// Feeds an open file from where it stands to `feed(std::string_view piece)` in pieces of
// PieceSizeFor(most) until all is read or `feed` returns false; kCannotRead when a read fails,
// kStopped when `stop` (looked at before each piece) stopped.
template <class F>
[[nodiscard]] TFeedResult FeedStream(std::FILE* f, F&& feed, size_t most = kReadChunkSize,
                                     const TStopToken& stop = {}) {
  std::vector<char> piece(PieceSizeFor(f, most));
  for (;;) {
    if (stop.StopRequested()) return TFeedResult::kStopped;
    const size_t got = std::fread(piece.data(), 1, piece.size(), f);
    if (got == 0) break;
    if (!feed(std::string_view(piece.data(), got))) return TFeedResult::kRead;
  }
  return std::ferror(f) ? TFeedResult::kCannotRead : TFeedResult::kRead;
}

// The same for a file by its name, opened shared (OpenReadShared). kCannotOpen leaves the
// system's reason in errno.
template <class F>
[[nodiscard]] TFeedResult FeedFile(const std::string& fileName, F&& feed, size_t most = kReadChunkSize,
                                   const TStopToken& stop = {}) {
  errno = 0;
  TFile f = OpenReadShared(fileName);
  if (!f) return TFeedResult::kCannotOpen;
  return FeedStream(f.get(), feed, most, stop);
}

// ---- Bytes and lines ----

inline bool IsLineBreak(char c) {
  return c == '\n' || c == '\r';
}
// A blank (code 0..32) that does not end the line.
inline bool IsBlankInLine(char c) {
  return IsBlankChar(c) && !IsLineBreak(c);
}
inline bool HasNonBlank(const char* p, const char* end) {
  for (; p < end; ++p)
    if (!IsBlankChar(*p)) return true;
  return false;
}
inline bool HasNonBlank(std::string_view s) {
  return HasNonBlank(s.data(), s.data() + s.size());
}
std::string_view TrimLeftView(std::string_view s);

// The first `c` in [p, end), or end.
inline const char* FindByte(const char* p, const char* end, char c) {
  const void* found = std::memchr(p, c, static_cast<size_t>(end - p));
  return found ? static_cast<const char*>(found) : end;
}

// Finds the line breaks (LF or CR) of one stretch of bytes in order. Each kind is searched for
// once per break of that kind: bytes without CRs cost a single CR search.
class TBreakFinder {
 public:
  TBreakFinder(const char* p, const char* end) : end_(end), lf_(FindByte(p, end, '\n')), cr_(FindByte(p, end, '\r')) {}
  // The first break at or after p (which never moves back), or the end.
  const char* Next(const char* p) {
    if (lf_ < p) lf_ = FindByte(p, end_, '\n');
    if (cr_ < p) cr_ = FindByte(p, end_, '\r');
    return std::min(lf_, cr_);
  }

 private:
  const char* end_;
  const char* lf_;
  const char* cr_;
};

// Where the line after the break at `lineBreak` starts: a CR LF is one break.
inline const char* AfterBreak(const char* lineBreak, const char* end) {
  return lineBreak + (*lineBreak == '\r' && lineBreak + 1 < end && lineBreak[1] == '\n' ? 2 : 1);
}

// The break that ends a piece of bytes fed in pieces: a CR there may have its LF at the start of
// the next piece, so where the next line starts is known only then. Every walker of lines over
// pieces keeps one.
class TPieceBreak {
 public:
  // Where the line after the break at `lineBreak` starts, or null when it is a CR that ends the
  // piece: the walker waits for the next piece (Pending) or the end of the bytes.
  static const char* Within(const char* lineBreak, const char* end) {
    return *lineBreak == '\r' && lineBreak + 1 == end ? nullptr : AfterBreak(lineBreak, end);
  }
  // As Within, remembering a CR that ends the piece.
  const char* After(const char* lineBreak, const char* end) {
    const char* next = Within(lineBreak, end);
    pending_ = next == nullptr;
    return next;
  }
  // At the start p of the next piece: true when a CR ended the last one; p then moves past its LF.
  bool Resume(const char*& p, const char* end) {
    if (!pending_) return false;
    pending_ = false;
    if (p < end && *p == '\n') ++p;
    return true;
  }
  bool Pending() const { return pending_; }
  // The end of the bytes: a CR that ended the last piece ends its line alone.
  bool Finish() {
    const bool pending = pending_;
    pending_ = false;
    return pending;
  }

 private:
  bool pending_ = false;
};

// Where the first line holding anything but blanks starts in [begin, end), or end.
const char* FirstNonBlankLine(const char* begin, const char* end);

// A line walker without a limit keeps every line whole.
inline constexpr size_t kNoLineLimit = SIZE_MAX;

// One line without its break. A line longer than its walker's limit is cut to it; whether the
// rest holds anything but blanks is kept, so that a cut line is never taken for a blank one.
struct TLine {
  std::string_view Head;
  bool TailNonBlank = false;
  bool Blank() const { return !TailNonBlank && !HasNonBlank(Head); }
};

// Cuts text into lines: LF, CR LF and a lone CR each end one; a last line without a break ends
// with the text. The text may come in pieces cut anywhere (a CR LF included): a line that lies
// inside one piece is handed on where it lies, only one that a piece's end cuts is gathered, up
// to `maxLine` bytes. With `skipLeadingBlanks` the blanks that start a line are not part of it
// (nor of the limit).
class TLineSplitter {
 public:
  explicit TLineSplitter(size_t maxLine = kNoLineLimit, bool skipLeadingBlanks = false)
      : maxLine_(std::max<size_t>(maxLine, 1)), skipLeading_(skipLeadingBlanks) {}

  // Calls onLine(const TLine&) for each line the piece ends; stops and returns false as soon as
  // onLine does.
  template <class F>
  bool Feed(std::string_view piece, F&& onLine) {
    return Walk(piece, false, onLine);
  }
  // The last piece: its end also ends the last line. Nothing may be fed after it.
  template <class F>
  bool FeedLast(std::string_view piece, F&& onLine) {
    return Walk(piece, true, onLine) && Finish(onLine);
  }
  // The end of the bytes: hands on a last line without a break.
  template <class F>
  bool Finish(F&& onLine) {
    pieceBreak_.Finish();
    if (!started_) return true;
    bool more = onLine(TLine{partial_, partialTailNonBlank_});
    ResetPartial();
    return more;
  }
  // No line is under way: the next byte starts one.
  bool AtLineStart() const { return !started_; }

 private:
  template <class F>
  bool Walk(std::string_view piece, bool last, F&& onLine) {
    if (piece.empty()) return true;
    const char* p = piece.data();
    const char* end = p + piece.size();
    pieceBreak_.Resume(p, end);
    TBreakFinder breaks(p, end);
    while (p < end) {
      if (skipLeading_ && leading_) {
        while (p < end && IsBlankInLine(*p)) ++p;
        if (p == end) {
          started_ = true;  // a line of blanks so far, of which nothing is kept
          return true;
        }
        leading_ = false;
      }
      const char* lineBreak = breaks.Next(p);
      if (lineBreak == end) {
        if (!last || started_) {
          Keep(p, end);
          return true;
        }
        leading_ = true;
        return onLine(LineAt(p, end));  // handed on where it lies: nothing is left for Finish
      }
      bool more;
      if (started_) {
        Keep(p, lineBreak);
        more = onLine(TLine{partial_, partialTailNonBlank_});
        ResetPartial();
      } else {
        more = onLine(LineAt(p, lineBreak));
        leading_ = true;
      }
      const char* next = pieceBreak_.After(lineBreak, end);
      p = next ? next : end;
      if (!more) return false;
    }
    return true;
  }

  TLine LineAt(const char* p, const char* lineEnd) const {
    size_t length = static_cast<size_t>(lineEnd - p);
    if (length <= maxLine_) return TLine{std::string_view(p, length), false};
    return TLine{std::string_view(p, maxLine_), HasNonBlank(p + maxLine_, lineEnd)};
  }

  // A line the piece's end cut: its head is kept up to the limit.
  void Keep(const char* p, const char* end) {
    started_ = true;
    size_t take = std::min(maxLine_ - partial_.size(), static_cast<size_t>(end - p));
    partial_.append(p, take);
    if (!partialTailNonBlank_) partialTailNonBlank_ = HasNonBlank(p + take, end);
  }

  void ResetPartial() {
    partial_.clear();
    started_ = false;
    partialTailNonBlank_ = false;
    leading_ = true;
  }

  size_t maxLine_;
  bool skipLeading_;
  std::string partial_;
  bool started_ = false;  // a line is under way: an earlier piece held its start
  bool partialTailNonBlank_ = false;
  TPieceBreak pieceBreak_;
  bool leading_ = true;  // the line under way has shown nothing but blanks so far
};

// Every line of a whole text, until onLine(const TLine&) returns false (then false).
template <class F>
bool ForEachLine(std::string_view text, F&& onLine, size_t maxLine = kNoLineLimit) {
  TLineSplitter lines(maxLine);
  return lines.FeedLast(text, onLine);
}

// The error text of a file that cannot be opened, with the system's reason (errno):
// "Cannot open file [name]: reason".
std::string CannotOpenText(const std::string& fileName);
// The error text of a file that was opened but could not be read: "Cannot read file [name]".
std::string CannotReadText(const std::string& fileName);
// The error text of a read that a caller's limit stopped: "Reading file [name] took too long".
std::string ReadStoppedText(const std::string& fileName);

// Feeds the lines of a file (whole, however long) to onLine(const TLine&) until it returns false
// or the file ends: the file is read only as far as onLine needs. False with `error` set when
// the file cannot be opened or read, or `stop` (looked at between pieces) ended the read.
template <class F>
[[nodiscard]] bool ReadFileLines(const std::string& fileName, F&& onLine, std::string& error,
                                 const TStopToken& stop = {}) {
  TLineSplitter lines;
  bool more = true;
  const TFeedResult result = FeedFile(
      fileName, [&](std::string_view piece) { return more = lines.Feed(piece, onLine); }, kReadChunkSize, stop);
  switch (result) {
    case TFeedResult::kCannotOpen:
      error = CannotOpenText(fileName);
      return false;
    case TFeedResult::kCannotRead:
      error = CannotReadText(fileName);
      return false;
    case TFeedResult::kStopped:
      error = ReadStoppedText(fileName);
      return false;
    case TFeedResult::kRead:
      break;
  }
  if (more) lines.Finish(onLine);
  return true;
}

// ---- Words and columns ----

// The blank-separated words of a text, one after the other.
class TWords {
 public:
  explicit TWords(std::string_view text) : text_(text) {}
  bool Next(std::string_view& word) {
    while (at_ < text_.size() && IsBlankChar(text_[at_])) ++at_;
    if (at_ == text_.size()) return false;
    size_t start = at_;
    while (at_ < text_.size() && !IsBlankChar(text_[at_])) ++at_;
    word = text_.substr(start, at_ - start);
    return true;
  }
  // What follows the words taken so far.
  std::string_view Rest() const { return text_.substr(at_); }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// Word `index` (from 0), empty when the text has fewer.
std::string_view WordAt(std::string_view text, int index);

// Columns first..last (counted from 1, as fixed-column formats describe them) of a line,
// clipped to it; empty when the line ends before `first`.
inline std::string_view Columns(std::string_view line, size_t first, size_t last) {
  if (line.size() < first) return {};
  return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

// ---- Counts and numbers ----

// A count: decimal digits with an optional '+', blanks around them allowed; nullopt for anything
// else and for values past 2^64 - 1.
std::optional<uint64_t> ParseCount(std::string_view text);

// A decimal number with optional sign, fraction and exponent, blanks around it allowed: nullopt
// when the text is none (so also for "inf", "nan" and hexadecimal), else whether its value is
// non-zero (judged by its digits, so "1e-999" is non-zero).
std::optional<bool> ParseDecimalIsNonZero(std::string_view text);

// Words of number lists end at blanks and at commas.
inline bool IsNumberSeparator(char c) {
  return IsBlankChar(c) || c == ',';
}
// The number that starts at p and ends at the next separator, or 0 when the word there is not a
// finite single-precision number ("." as decimal separator whatever the locale, a leading '+'
// allowed); p moves past the number, or past the word when it is none.
float ReadFloatWord(const char*& p, const char* end);
// The number in `text` (blanks around it allowed), as ReadFloatWord reads it; 0 when the text is
// not one finite number.
float ParseFloat(std::string_view text);

}  // namespace pelorin
