// Records of multi-record files: the scanner every format's record rule runs in (the rules live in
// their formats' modules, beside the reader and the survey that walk them, and come here through
// the scanner factory of their row in uMolFormat), and how a record's text is delivered.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "formats/uMolFormat.h"
#include "formats/uTextScan.h"

namespace pelorin {

// Lines longer than this are looked at up to here (and whether anything but blanks follows) by
// the record rules and the survey: what they hold in memory never depends on what a file claims.
constexpr size_t kSurveyMaxLineBytes = 1 << 20;

// Finds where the records of one rule end in a file's bytes, fed in chunks of any size, cut
// anywhere (a CR LF included).
class TFormatRecordScanner {
 public:
  TFormatRecordScanner() = default;
  TFormatRecordScanner(const TFormatRecordScanner&) = delete;
  TFormatRecordScanner& operator=(const TFormatRecordScanner&) = delete;
  virtual ~TFormatRecordScanner() = default;
  // Appends to `ends` the file offset just past each record that ends in the chunk. An end right
  // after a CR that ends the chunk is reported with the next chunk (or by Finish), which shows
  // whether an LF belongs to it.
  virtual void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) = 0;
  // After the last chunk: appends the end of the record still open, if it counts. Returns true
  // when the file's end cut the last record before its own end.
  virtual bool Finish(std::vector<uint64_t>& ends) = 0;
  // True once the bytes have stopped following the format (an XYZ count line that is no
  // number): no record starts after that point.
  virtual bool Stopped() const { return false; }
};

// What a line-based record rule says of one line.
enum class TLineEnd : uint8_t {
  kNone,          // no record ends here
  kBefore,        // the record under way ends where this line starts, which starts the next one
  kAfter,         // the record under way ends after this line and its break
  kAfterAndStop,  // ... and nothing after it is a record (the format's own end, as PDB's END)
  kStop,          // the bytes since the last record hold none, and nothing after them is one
  kNotFormat,     // as kStop, because the bytes no longer follow the format (see Stopped)
};

// A scanner over lines (LF, CR or CR LF; each seen up to `maxLine` bytes, whether anything but
// blanks follows kept) for a rule with
//   TLineEnd Take(const TLine& line);
//   bool OpenRecordCounts() const;  // at the end of the bytes: the record under way is one
//   static constexpr bool kEndsOfItsOwn;  // records end by a line of their own (not by the next
//                                         // record's first), so one the file's end cuts is told
//   static constexpr bool kEndsAtBreak;   // a record ends with its line's break: a last line
//                                         // without one was cut (a SMILES line)
// and optionally, for lines it would take without a look,
//   uint64_t LinesToPass() const;  // how many of the next lines end no record
//   void PassLines(uint64_t n);    // takes n of them unseen
// Lines come in pieces cut anywhere, a CR LF included; an end after a CR that closes a piece
// waits for the next piece, which shows whether an LF belongs to it.
template <class TRule, class = void>
struct TPassesLines : std::false_type {};
template <class TRule>
struct TPassesLines<TRule, std::void_t<decltype(std::declval<const TRule&>().LinesToPass())>> : std::true_type {};

template <class TRule>
class TLineRuleScanner final : public TFormatRecordScanner {
 public:
  explicit TLineRuleScanner(size_t maxLine, TRule rule = TRule())
      : rule_(std::move(rule)), maxLine_(std::max<size_t>(maxLine, 1)) {}

  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) override {
    if (begin == end) return;
    const char* p = begin;
    if (pieceBreak_.Resume(p, end)) EndAfterLine(Offset(begin, p), ends);
    TBreakFinder breaks(p, end);
    while (p < end && !over_) {
      if constexpr (TPassesLines<TRule>::value) {
        p = PassLines(begin, p, end, breaks);
        if (p == end) break;
      }
      const char* lineBreak = breaks.Next(p);
      if (lineBreak == end) {
        Keep(p, end);
        break;
      }
      const TLineEnd verdict = rule_.Take(LineTo(p, lineBreak));
      ResetLine();
      Before(verdict, ends);
      pending_ = verdict;
      const char* next = pieceBreak_.After(lineBreak, end);
      if (!next) break;
      EndAfterLine(Offset(begin, next), ends);
      p = next;
    }
    offset_ += static_cast<uint64_t>(end - begin);
  }

  bool Finish(std::vector<uint64_t>& ends) override {
    bool cutAtBreak = false;
    if (pieceBreak_.Finish()) {
      EndAfterLine(offset_, ends);
    } else if (started_ && !over_) {  // a last line without a break
      pending_ = rule_.Take(TLine{partial_, partialTailNonBlank_});
      ResetLine();
      Before(pending_, ends);
      cutAtBreak = TRule::kEndsAtBreak && pending_ == TLineEnd::kAfter;
      EndAfterLine(offset_, ends);
    }
    const bool counts = !over_ && offset_ > lastEnd_ && rule_.OpenRecordCounts();
    if (counts) AddEnd(offset_, ends);
    over_ = true;
    return (counts && TRule::kEndsOfItsOwn) || cutAtBreak;
  }

  bool Stopped() const override { return notFormat_; }

 private:
  uint64_t Offset(const char* begin, const char* p) const { return offset_ + static_cast<uint64_t>(p - begin); }

  // Passes over the whole lines from p that the rule takes unseen; returns where the next line
  // starts. A line the piece's end cuts, or whose CR ends the piece, is left to the walk.
  const char* PassLines(const char* begin, const char* p, const char* end, TBreakFinder& breaks) {
    const uint64_t wanted = started_ ? 0 : rule_.LinesToPass();
    uint64_t passed = 0;
    while (passed < wanted) {
      const char* lineBreak = breaks.Next(p);
      if (lineBreak == end) break;
      const char* next = TPieceBreak::Within(lineBreak, end);
      if (!next) break;
      ++passed;
      p = next;
    }
    if (passed == 0) return p;
    rule_.PassLines(passed);
    lineStart_ = Offset(begin, p);
    return p;
  }

  // What the rule's verdict on a line means where the line starts.
  void Before(TLineEnd verdict, std::vector<uint64_t>& ends) {
    if (verdict == TLineEnd::kBefore) AddEnd(lineStart_, ends);
    if (verdict == TLineEnd::kStop || verdict == TLineEnd::kNotFormat) over_ = true;
    if (verdict == TLineEnd::kNotFormat) notFormat_ = true;
  }
  // Where the line just taken ends (after its break): the record ends there if the rule said so,
  // and the next line starts there.
  void EndAfterLine(uint64_t next, std::vector<uint64_t>& ends) {
    if (pending_ == TLineEnd::kAfter || pending_ == TLineEnd::kAfterAndStop) AddEnd(next, ends);
    if (pending_ == TLineEnd::kAfterAndStop) over_ = true;
    pending_ = TLineEnd::kNone;
    lineStart_ = next;
  }

  void AddEnd(uint64_t end, std::vector<uint64_t>& ends) {
    if (end <= lastEnd_) return;  // a record holds at least one byte
    ends.push_back(end);
    lastEnd_ = end;
  }

  // The line from the bytes a piece's end cut, if any, to `lineEnd`.
  TLine LineTo(const char* p, const char* lineEnd) {
    if (started_) {
      Keep(p, lineEnd);
      return TLine{partial_, partialTailNonBlank_};
    }
    const size_t length = static_cast<size_t>(lineEnd - p);
    if (length <= maxLine_) return TLine{std::string_view(p, length), false};
    return TLine{std::string_view(p, maxLine_), HasNonBlank(p + maxLine_, lineEnd)};
  }
  void Keep(const char* p, const char* end) {
    started_ = true;
    const size_t take = std::min(maxLine_ - partial_.size(), static_cast<size_t>(end - p));
    partial_.append(p, take);
    if (!partialTailNonBlank_) partialTailNonBlank_ = HasNonBlank(p + take, end);
  }
  void ResetLine() {
    partial_.clear();
    started_ = partialTailNonBlank_ = false;
  }

  TRule rule_;
  const size_t maxLine_;
  uint64_t offset_ = 0;     // bytes fed so far
  uint64_t lineStart_ = 0;  // where the line under way starts
  uint64_t lastEnd_ = 0;
  std::string partial_;  // the head of a line that a piece's end cut
  bool started_ = false, partialTailNonBlank_ = false;
  TPieceBreak pieceBreak_;              // the last piece ended in the CR of a line taken
  TLineEnd pending_ = TLineEnd::kNone;  // what the rule said of that line
  bool over_ = false;                   // no later byte belongs to a record
  bool notFormat_ = false;              // ... because the bytes stopped following the format
};

// The scanner of any rule behind one face: the one its format's row makes.
class TRecordScanner {
 public:
  explicit TRecordScanner(TRecordRule rule, size_t maxLine = kSurveyMaxLineBytes);
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) { scanner_->Feed(begin, end, ends); }
  // Returns true when the file's end cut the last record before its own end (an SDF record
  // without its end mark, a SMILES line without its break, a PDB model without ENDMDL or END).
  bool Finish(std::vector<uint64_t>& ends) { return scanner_->Finish(ends); }
  // True when the bytes stopped following the format: what follows that point holds no record.
  bool Stopped() const { return scanner_->Stopped(); }

 private:
  std::unique_ptr<TFormatRecordScanner> scanner_;
};

// The text of one record's bytes as it is delivered: each line followed by CR LF whatever
// break the file used, a last line without a break included. `lineBreaks` is scratch space.
void RecordText(const char* begin, const char* end, std::string& text, std::vector<const char*>& lineBreaks);
// The text of a record of any rule, as RecordText gives it, from where the record itself begins
// (its row's RecordTextStart): a SMILES record is its one non-blank line (followed by CR LF), an
// XYZ record begins at its count line, a CML record at its <molecule> tag; SDF, MOL2 and PDB
// records are delivered whole.
void DeliverRecordText(TRecordRule rule, const char* begin, const char* end, std::string& text,
                       std::vector<const char*>& lineBreaks);

}  // namespace pelorin
