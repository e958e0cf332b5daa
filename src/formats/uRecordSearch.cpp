// Finding a text in the records of a file: a raw scan of large pieces, and a close look at the
// records where the bytes match.
#include "formats/uRecordSearch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <vector>

#include "support/uText.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pelorin {

namespace {

bool IsWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char UpperAsciiChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// How often a byte turns up in molecule files, roughly: the blanks, digits and signs of atom
// blocks and coordinates everywhere, carbon and the common elements next. The raw scan looks
// for the query's rarest byte.
int Commonness(char c) {
  if (IsBlankChar(c) || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+') return 100;
  switch (c) {
    case 'C':
      return 40;
    case 'N':
    case 'O':
    case 'H':
      return 15;
    case 'M':
    case 'E':
    case 'D':
    case 'V':
    case 'S':
    case '$':
    case '(':
    case ')':
    case '=':
      return 5;
    default:
      return (c >= 'a' && c <= 'z') ? 1 : 2;
  }
}

// A query whose rarest byte is at least this common is looked for by its ends instead.
constexpr int kCommonByte = 15;

// The query's bytes and how they are looked for: by memchr on its rarest byte (both cases of a
// letter when case does not matter), or, when all its bytes are common (a number), by its first
// and last bytes, compared 16 places at a time.
class TMatcher {
 public:
  explicit TMatcher(const TSearchQuery& query)
      : needle_(query.MatchCase ? query.Text : LowerAscii(query.Text)),
        matchCase_(query.MatchCase),
        wholeWords_(query.WholeWords) {
    int best = INT32_MAX;
    for (size_t i = 0; i < needle_.size(); ++i) {
      const char c = needle_[i];
      const int weight = Commonness(c) + (matchCase_ || UpperAsciiChar(c) == c ? 0 : Commonness(UpperAsciiChar(c)));
      if (weight < best) {
        best = weight;
        anchorAt_ = i;
      }
    }
    anchor_ = needle_.empty() ? '\0' : needle_[anchorAt_];
    anchorUpper_ = matchCase_ ? anchor_ : UpperAsciiChar(anchor_);
    byEnds_ = best >= kCommonByte;
  }

  size_t Size() const { return needle_.size(); }

  // The query's bytes stand at p (which has at least Size() bytes), in the case asked for.
  bool EqualAt(const char* p) const {
    if (matchCase_) return std::memcmp(p, needle_.data(), needle_.size()) == 0;
    for (size_t i = 0; i < needle_.size(); ++i)
      if (LowerAsciiChar(p[i]) != needle_[i]) return false;
    return true;
  }

  // A match at `at` in `text` that begins and ends a word, where the query does.
  bool IsWholeAt(std::string_view text, size_t at) const {
    if (!wholeWords_) return true;
    const size_t after = at + needle_.size();
    if (IsWordByte(needle_.front()) && at > 0 && IsWordByte(text[at - 1])) return false;
    return !(IsWordByte(needle_.back()) && after < text.size() && IsWordByte(text[after]));
  }

  bool ByEnds() const { return byEnds_; }
  bool MatchCase() const { return matchCase_; }
  char First() const { return needle_.front(); }
  char Last() const { return needle_.back(); }
  char Anchor() const { return anchor_; }
  char AnchorUpper() const { return anchorUpper_; }
  size_t AnchorAt() const { return anchorAt_; }

  // Where the text first holds the query as asked (whole words included), or npos.
  size_t FindIn(std::string_view text) const;

 private:
  std::string needle_;  // lower-cased when case does not matter
  bool matchCase_;
  bool wholeWords_;
  size_t anchorAt_ = 0;
  char anchor_ = '\0';
  char anchorUpper_ = '\0';
  bool byEnds_ = false;
};

// The places in [begin, end) where the query's bytes stand, one after the other: case as asked,
// whole words not yet judged.
class TCandidates {
 public:
  TCandidates(const TMatcher& matcher, const char* begin, const char* end)
      : m_(matcher), end_(end), lower_(begin), upper_(begin) {}

  // The first candidate at or after p (p never moves back), or end.
  const char* Next(const char* p) { return m_.ByEnds() ? NextByEnds(p) : NextByAnchor(p); }

 private:
  const char* NextByAnchor(const char* p) {
    const size_t size = m_.Size(), at = m_.AnchorAt();
    const bool twoCases = m_.Anchor() != m_.AnchorUpper();
    while (static_cast<size_t>(end_ - p) >= size) {
      const char* from = p + at;
      if (!lowerKnown_ || lower_ < from) lower_ = FindByte(from, end_, m_.Anchor());
      if (twoCases && (!upperKnown_ || upper_ < from)) upper_ = FindByte(from, end_, m_.AnchorUpper());
      lowerKnown_ = true;
      upperKnown_ = twoCases;
      const char* anchor = twoCases ? std::min(lower_, upper_) : lower_;
      if (static_cast<size_t>(end_ - anchor) < size - at) return end_;  // no room for the rest
      const char* start = anchor - at;
      if (m_.EqualAt(start)) return start;
      p = start + 1;
    }
    return end_;
  }

  // A byte of the text against one of the query's (lower-cased unless case matters): a letter's
  // two cases differ only in bit 0x20.
  bool Same(char text, char query) const {
    return (m_.MatchCase() || !IsAsciiLetter(query) ? text : static_cast<char>(text | 0x20)) == query;
  }

  const char* NextByEnds(const char* p) {
    const size_t size = m_.Size();
    if (static_cast<size_t>(end_ - p) < size) return end_;
    const char* lastStart = end_ - size;  // the last place a match may start
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(m_.First()), last = _mm_set1_epi8(m_.Last());
    const __m128i firstFold = _mm_set1_epi8(FoldBit(m_.First())), lastFold = _mm_set1_epi8(FoldBit(m_.Last()));
    for (; lastStart - p >= 16; p += 16) {
      const __m128i heads = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), firstFold);
      const __m128i tails = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size - 1)), lastFold);
      auto mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, first), _mm_cmpeq_epi8(tails, last))));
      for (; mask != 0; mask &= mask - 1) {
        const char* start = p + __builtin_ctz(mask);
        if (m_.EqualAt(start)) return start;
      }
    }
#endif
    for (; p <= lastStart; ++p)
      if (Same(*p, m_.First()) && Same(p[size - 1], m_.Last()) && m_.EqualAt(p)) return p;
    return end_;
  }

  // The bit a query byte's comparison sets in every text byte: 0x20 for a letter when case does
  // not matter, so that both cases meet its lower case.
  char FoldBit(char query) const {
    return !m_.MatchCase() && IsAsciiLetter(query) ? 0x20 : 0;
  }

  const TMatcher& m_;
  const char* end_;
  const char* lower_;
  const char* upper_;
  bool lowerKnown_ = false;
  bool upperKnown_ = false;
};

size_t TMatcher::FindIn(std::string_view text) const {
  const char* begin = text.data();
  const char* end = begin + text.size();
  TCandidates candidates(*this, begin, end);
  for (const char* p = begin;;) {
    const char* found = candidates.Next(p);
    if (found == end) return std::string_view::npos;
    if (IsWholeAt(text, static_cast<size_t>(found - begin))) return static_cast<size_t>(found - begin);
    p = found + 1;
  }
}

bool FindInSDF(std::string_view record, const TMatcher& matcher, TSearchHit& hit) {
  TSDFPieces pieces(record);
  TSDFPiece piece;
  while (pieces.Next(piece)) {
    const size_t at = matcher.FindIn(piece.Text);
    if (at == std::string_view::npos) continue;
    static constexpr TSearchPlace kPlaces[] = {TSearchPlace::kTitle, TSearchPlace::kItemName, TSearchPlace::kItemValue};
    hit.Place = kPlaces[static_cast<size_t>(piece.Part)];
    hit.Item = piece.Item;
    hit.Line = piece.Line;
    hit.Offset = at;
    hit.Length = matcher.Size();
    return true;
  }
  return false;
}

// Every line of the record, or (kTextLine) its one line that is not blank, counted as line 0.
bool FindInLines(std::string_view record, TSearchPlaces places, const TMatcher& matcher, TSearchHit& hit) {
  const bool textLine = places == TSearchPlaces::kTextLine;
  const char* p = record.data();
  const char* end = p + record.size();
  TBreakFinder breaks(p, end);
  for (size_t line = 0; p < end;) {
    const char* lineBreak = breaks.Next(p);
    const std::string_view text(p, static_cast<size_t>(lineBreak - p));
    p = lineBreak < end ? AfterBreak(lineBreak, end) : end;
    if (textLine && !HasNonBlank(text)) continue;
    const size_t at = matcher.FindIn(text);
    if (at != std::string_view::npos) {
      hit.Place = TSearchPlace::kLine;
      hit.Item = 0;
      hit.Line = line;
      hit.Offset = at;
      hit.Length = matcher.Size();
      return true;
    }
    if (textLine) return false;
    ++line;
  }
  return false;
}

bool FindWithMatcher(TSearchPlaces places, std::string_view record, const TMatcher& matcher, TSearchHit& hit) {
  if (matcher.Size() == 0) return false;
  if (places == TSearchPlaces::kMolfile) return FindInSDF(record, matcher, hit);
  return FindInLines(record, places, matcher, hit);
}

std::string ReasonFromErrno() {
  return errno != 0 ? std::strerror(errno) : "read error";
}

// One search through an index: reads runs of whole records into one buffer and scans them.
class TRecordSearch {
 public:
  TRecordSearch(const TRecordIndex& index, const TSearchQuery& query, const TSearchControl& control)
      : index_(index),
        places_(SearchPlacesOf(index.Rule())),
        matcher_(query),
        control_(control),
        chunkSize_(std::max<size_t>(control.ChunkSize, 1)) {}

  TSearchOutcome Forward(size_t from, TSearchHit& hit, std::string& error);
  TSearchOutcome Backward(size_t from, TSearchHit& hit, std::string& error);

 private:
  bool StopAsked() const { return control_.Stop.StopRequested(); }
  [[nodiscard]] bool Read(uint64_t start, uint64_t end, std::string& error);
  bool Fail(const std::string& reason, std::string& error) const {
    error = "Cannot read " + index_.FileName() + ": " + reason;
    return false;
  }
  // Scans the records whose ends are ends_ (the first starting at spanStart_), read into
  // buffer_; the first record with a match (or with `last`, the last one) goes to `hit`, its
  // number counted from the run's first record.
  bool ScanRun(bool last, TSearchHit& hit) const;
  void Report(uint64_t bytes) {
    done_ += bytes;
    if (control_.Progress) control_.Progress(done_, std::max(total_, done_));
  }

  const TRecordIndex& index_;
  const TSearchPlaces places_;
  const TMatcher matcher_;
  const TSearchControl& control_;
  const size_t chunkSize_;
  TFile file_;
  std::vector<char> buffer_;
  std::vector<uint64_t> ends_;  // of the records in the buffer, in file order
  uint64_t spanStart_ = 0;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};

bool TRecordSearch::Read(uint64_t start, uint64_t end, std::string& error) {
  if (!file_) {
    errno = 0;
    file_ = OpenReadDenyWrite(index_.FileName());
    if (!file_) return Fail(ReasonFromErrno(), error);
  }
  buffer_.resize(static_cast<size_t>(end - start));
  errno = 0;
  if (!SeekFile(file_.get(), start)) return Fail(ReasonFromErrno(), error);
  if (std::fread(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) {
    return Fail(std::ferror(file_.get()) ? ReasonFromErrno() : "the file is shorter than when its records were counted",
                error);
  }
  spanStart_ = start;
  return true;
}

bool TRecordSearch::ScanRun(bool last, TSearchHit& hit) const {
  const char* begin = buffer_.data();
  const char* end = begin + buffer_.size();
  TCandidates candidates(matcher_, begin, end);
  size_t record = 0;
  bool found = false;
  for (const char* p = begin;;) {
    const char* candidate = candidates.Next(p);
    if (candidate == end) return found;
    const uint64_t at = spanStart_ + static_cast<uint64_t>(candidate - begin);
    while (ends_[record] <= at) ++record;
    const uint64_t recordStart = record == 0 ? spanStart_ : ends_[record - 1];
    const char* recordBegin = begin + (recordStart - spanStart_);
    const char* recordEnd = begin + (ends_[record] - spanStart_);
    TSearchHit inRecord;
    if (FindWithMatcher(places_, std::string_view(recordBegin, static_cast<size_t>(recordEnd - recordBegin)), matcher_,
                        inRecord)) {
      inRecord.Record = record;
      hit = inRecord;
      found = true;
      if (!last) return true;
    }
    p = recordEnd;  // one close look per record
  }
}

TSearchOutcome TRecordSearch::Forward(size_t from, TSearchHit& hit, std::string& error) {
  uint64_t start = 0, end = 0;
  for (size_t first = from;;) {
    if (StopAsked()) return TSearchOutcome::kStopped;
    if (first >= index_.Count()) {
      const TRecordIndexState state = index_.State();
      if (first < index_.Count()) continue;  // the pass found it while the state was asked
      if (state == TRecordIndexState::kBuilding) {
        (void)index_.WaitForCount(first + 1, std::chrono::milliseconds(50));
        continue;
      }
      if (state == TRecordIndexState::kComplete) return TSearchOutcome::kNotFound;
      if (state == TRecordIndexState::kCancelled) return TSearchOutcome::kStopped;
      error = index_.Error();
      return TSearchOutcome::kFailed;
    }
    // A run of whole records of at most one chunk's bytes, or one larger record alone.
    ends_.clear();
    if (!index_.RecordRange(first, start, end)) continue;
    const uint64_t runStart = start;
    ends_.push_back(end);
    while (index_.RecordRange(first + ends_.size(), start, end) && end - runStart <= chunkSize_) ends_.push_back(end);
    if (!Read(runStart, ends_.back(), error)) return TSearchOutcome::kFailed;
    if (first == from) total_ = FileSizeOf(file_.get()).value_or(ends_.back()) - runStart;
    if (ScanRun(false, hit)) {
      hit.Record += first;
      return TSearchOutcome::kFound;
    }
    Report(ends_.back() - runStart);
    first += ends_.size();
  }
}

TSearchOutcome TRecordSearch::Backward(size_t from, TSearchHit& hit, std::string& error) {
  const size_t count = index_.Count();
  if (count == 0) return TSearchOutcome::kNotFound;
  uint64_t start = 0, end = 0;
  size_t last = std::min(from, count - 1);
  if (!index_.RecordRange(last, start, end)) return TSearchOutcome::kNotFound;
  total_ = end;
  for (;;) {
    if (StopAsked()) return TSearchOutcome::kStopped;
    if (!index_.RecordRange(last, start, end)) return TSearchOutcome::kNotFound;
    const uint64_t runEnd = end;
    size_t first = last;
    uint64_t runStart = start;
    while (first > 0 && index_.RecordRange(first - 1, start, end) && runEnd - start <= chunkSize_) {
      runStart = start;
      --first;
    }
    ends_.clear();
    for (size_t record = first; record <= last; ++record) {
      if (!index_.RecordRange(record, start, end)) return TSearchOutcome::kNotFound;
      ends_.push_back(end);
    }
    if (!Read(runStart, runEnd, error)) return TSearchOutcome::kFailed;
    if (ScanRun(true, hit)) {
      hit.Record += first;
      return TSearchOutcome::kFound;
    }
    Report(runEnd - runStart);
    if (first == 0) return TSearchOutcome::kNotFound;
    last = first - 1;
  }
}

}  // namespace

bool FindInRecord(TSearchPlaces places, std::string_view record, const TSearchQuery& query, TSearchHit& hit) {
  const TMatcher matcher(query);
  const size_t keep = hit.Record;
  if (!FindWithMatcher(places, record, matcher, hit)) return false;
  hit.Record = keep;
  return true;
}

TSearchOutcome SearchRecords(const TRecordIndex& index, const TSearchQuery& query, size_t from,
                             const TSearchControl& control, TSearchHit& hit, std::string& error) {
  error.clear();
  if (query.Text.empty()) return TSearchOutcome::kNotFound;
  try {
    TRecordSearch search(index, query, control);
    return query.Backwards ? search.Backward(from, hit, error) : search.Forward(from, hit, error);
  } catch (const std::exception&) {  // bad_alloc: a record too large for memory
    error = "Cannot read " + index.FileName() + ": not enough memory";
    return TSearchOutcome::kFailed;
  }
}

}  // namespace pelorin
