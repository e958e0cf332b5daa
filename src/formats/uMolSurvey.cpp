// Record counts, atom counts and 3D coordinates of molecule files, told from their bytes alone.
//
// Every format is read by a small state machine that takes the bytes in pieces cut anywhere, so
// a file is read in fixed-size pieces and only as far as the answer needs; the text forms feed
// the whole text as one piece. Line-based formats see each line's first maxLineBytes bytes only.
#include "formats/uMolSurvey.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {

namespace {

constexpr size_t kReadPiece = 1 << 20;

bool HasNonBlank(const char* p, const char* end) {
  for (; p < end; ++p)
    if (!IsBlankChar(*p)) return true;
  return false;
}

std::string_view TrimLeftView(std::string_view s) {
  size_t first = 0;
  while (first < s.size() && IsBlankChar(s[first])) ++first;
  return s.substr(first);
}

// The first `c` in [p, end), or end.
const char* FindByte(const char* p, const char* end, char c) {
  const void* found = std::memchr(p, c, static_cast<size_t>(end - p));
  return found ? static_cast<const char*>(found) : end;
}

// Finds the line breaks (LF or CR) of one piece in order. Each search runs once per break of
// its kind: a piece without CRs costs a single CR search.
class TBreakFinder {
 public:
  TBreakFinder(const char* p, const char* end) : end_(end), lf_(FindByte(p, end, '\n')), cr_(FindByte(p, end, '\r')) {}
  // The first break at or after p (which never moves back), or the piece's end.
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

// Up to `length` bytes from `pos`; empty when the text is shorter.
std::string_view Field(std::string_view s, size_t pos, size_t length) {
  return pos < s.size() ? s.substr(pos, length) : std::string_view();
}

// The blank-separated tokens of a line, one after the other.
class TTokens {
 public:
  explicit TTokens(std::string_view text) : text_(text) {}
  bool Next(std::string_view& token) {
    while (at_ < text_.size() && IsBlankChar(text_[at_])) ++at_;
    if (at_ == text_.size()) return false;
    size_t start = at_;
    while (at_ < text_.size() && !IsBlankChar(text_[at_])) ++at_;
    token = text_.substr(start, at_ - start);
    return true;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// Token `index` (from 0), empty when the text has fewer.
std::string_view TokenAt(std::string_view text, int index) {
  TTokens tokens(text);
  std::string_view token;
  for (int i = 0; i <= index; ++i)
    if (!tokens.Next(token)) return {};
  return token;
}

// A count: decimal digits, blanks around them allowed. Values past int64 saturate: a count is
// only ever compared with what the bytes hold.
std::optional<int64_t> ParseCount(std::string_view text) {
  text = TrimView(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    int digit = c - '0';
    value = value > (INT64_MAX - digit) / 10 ? INT64_MAX : value * 10 + digit;
  }
  return value;
}

// A decimal number with optional sign, fraction and exponent, blanks around it allowed:
// nullopt when the text is none, else whether its value is non-zero.
std::optional<bool> ParseNumberIsNonZero(std::string_view text) {
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

// One line without its break. A line longer than the survey's limit is cut to it; whether the
// rest holds anything but blanks is kept, so that a cut line is never taken for a blank one.
struct TLine {
  std::string_view Head;
  bool TailNonBlank = false;
  bool Blank() const { return !TailNonBlank && TrimView(Head).empty(); }
};

// Cuts bytes fed in pieces into lines. LF, CR LF and a lone CR each end a line, as in SplitSDF;
// a last line without a break ends with the bytes.
class TLineSplitter {
 public:
  explicit TLineSplitter(size_t maxLine) : maxLine_(std::max<size_t>(maxLine, 1)) {}

  // Calls onLine(const TLine&) for each line the piece ends; stops and returns false as soon as
  // onLine does.
  template <class F>
  bool Feed(std::string_view piece, F&& onLine) {
    if (piece.empty()) return true;
    const char* p = piece.data();
    const char* end = p + piece.size();
    if (pendingCR_) {
      pendingCR_ = false;
      if (*p == '\n') ++p;
    }
    TBreakFinder breaks(p, end);
    while (p < end) {
      const char* lineBreak = breaks.Next(p);
      if (lineBreak == end) {
        Keep(p, end);
        return true;
      }
      bool more;
      if (started_) {
        Keep(p, lineBreak);
        more = onLine(TLine{partial_, partialTailNonBlank_});
        ResetPartial();
      } else {
        more = onLine(LineAt(p, lineBreak));
      }
      p = lineBreak + 1;
      if (*lineBreak == '\r') {
        if (p == end)
          pendingCR_ = true;  // its LF may start the next piece
        else if (*p == '\n')
          ++p;
      }
      if (!more) return false;
    }
    return true;
  }

  // No line is under way: the next byte starts one.
  bool AtLineStart() const { return !started_; }

  template <class F>
  bool Finish(F&& onLine) {
    pendingCR_ = false;
    if (!started_) return true;
    bool more = onLine(TLine{partial_, partialTailNonBlank_});
    ResetPartial();
    return more;
  }

 private:
  TLine LineAt(const char* p, const char* lineBreak) const {
    size_t length = static_cast<size_t>(lineBreak - p);
    if (length <= maxLine_) return TLine{std::string_view(p, length), false};
    return TLine{std::string_view(p, maxLine_), HasNonBlank(p + maxLine_, lineBreak)};
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
  }

  size_t maxLine_;
  std::string partial_;
  bool started_ = false;
  bool partialTailNonBlank_ = false;
  bool pendingCR_ = false;
};

bool IsRecordEnd(const TLine& line) {
  if (line.TailNonBlank) return false;
  std::string_view head = TrimLeftView(line.Head);
  if (head.empty() || head[0] != '$') return false;  // nearly every line
  return TrimView(head) == "$$$$";
}

}  // namespace

// What every format's machine reports. A machine counts records when its target is negative,
// and surveys record `target` otherwise.
class TSurveyMachine {
 public:
  virtual ~TSurveyMachine() = default;
  // False once further bytes cannot change the answer.
  virtual bool Feed(std::string_view bytes) = 0;
  virtual void Finish() = 0;
  TMolSurvey Records() const { return TMolSurvey{records_, exact_}; }
  std::optional<TRecordSurvey> Record() const { return found_ ? std::optional<TRecordSurvey>(record_) : std::nullopt; }

 protected:
  explicit TSurveyMachine(int64_t target) : target_(target) {}
  bool Counting() const { return target_ < 0; }
  bool IsTarget(int64_t record) const { return target_ >= 0 && record == target_; }
  void Found(const TRecordSurvey& record) {
    found_ = true;
    record_ = record;
  }

  const int64_t target_;
  int64_t records_ = 0;
  bool exact_ = true;

 private:
  bool found_ = false;
  TRecordSurvey record_;
};

namespace {

// Knows nothing: an unknown format, or a record index that cannot exist.
class TNoAnswer : public TSurveyMachine {
 public:
  TNoAnswer() : TSurveyMachine(-1) { exact_ = false; }
  bool Feed(std::string_view) override { return false; }
  void Finish() override {}
};

// A machine over lines: Derived has bool OnLine(const TLine&) (false once its answer is known)
// and void OnEnd() for the end of the bytes; it may replace FeedPiece to pass lines over.
template <class Derived>
class TLineMachine : public TSurveyMachine {
 public:
  bool Feed(std::string_view bytes) final {
    if (done_) return false;
    done_ = !Self().FeedPiece(bytes);
    return !done_;
  }
  void Finish() final {
    if (done_) return;
    done_ = true;
    if (lines_.Finish([this](const TLine& line) { return Self().OnLine(line); })) Self().OnEnd();
  }

 protected:
  TLineMachine(int64_t target, size_t maxLine) : TSurveyMachine(target), lines_(maxLine) {}
  bool FeedPiece(std::string_view bytes) { return FeedLines(bytes); }
  bool FeedLines(std::string_view bytes) {
    return lines_.Feed(bytes, [this](const TLine& line) { return Self().OnLine(line); });
  }
  bool AtLineStart() const { return lines_.AtLineStart(); }
  bool done_ = false;  // a machine that knows its answer from the start sets it

 private:
  Derived& Self() { return static_cast<Derived&>(*this); }
  TLineSplitter lines_;
};

// One MOL record's lines from its first (the title) to the end of its atom block.
class TMolRecordReader {
 public:
  // False once the atom block has been read, or cannot be.
  bool Line(std::string_view head) {
    int64_t number = lineNumber_++;
    if (number == 1) has3D_ = Field(head, 20, 2) == "3D";  // the header's dimensional code
    if (number < 3) return true;
    if (number == 3) return CountsLine(head);
    return v3000_ ? V3000Line(head) : V2000AtomLine(head);
  }
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, declared_ && atoms_ == *declared_, has3D_}; }

 private:
  bool CountsLine(std::string_view head) {
    if (head.find("V3000") != std::string_view::npos) {
      v3000_ = true;
      return true;
    }
    declared_ = ParseCount(head.substr(0, 3));
    return declared_ && *declared_ > 0;
  }

  // An atom line holds x, y and z as numbers in columns 1-10, 11-20 and 21-30. The first line
  // that does not ends the atom block, whatever the counts line claims.
  bool V2000AtomLine(std::string_view head) {
    if (head.size() < 30) return false;
    std::optional<bool> z = ParseNumberIsNonZero(head.substr(20, 10));
    if (!ParseNumberIsNonZero(head.substr(0, 10)) || !ParseNumberIsNonZero(head.substr(10, 10)) || !z) return false;
    ++atoms_;
    has3D_ = has3D_ || *z;
    return atoms_ < *declared_;
  }

  // "M  V30 COUNTS na ...", then "M  V30 BEGIN ATOM", one "M  V30 index type x y z ..." entry per
  // atom (a line ending in '-' goes on in the next), "M  V30 END ATOM".
  bool V3000Line(std::string_view head) {
    if (StartsWith(head, "M  END")) return false;
    if (!StartsWith(head, "M  V30")) return true;
    std::string_view body = head.substr(6);
    while (!body.empty() && IsBlankChar(body.back())) body.remove_suffix(1);
    bool entryGoesOn = continued_;
    continued_ = !body.empty() && body.back() == '-';
    if (continued_) body.remove_suffix(1);
    if (!entryGoesOn) {
      TTokens keywords(body);
      std::string_view first, second;
      keywords.Next(first);
      keywords.Next(second);
      if (first == "COUNTS") {
        declared_ = ParseCount(second);
        return !declared_ || *declared_ > 0;
      }
      if ((first == "BEGIN" || first == "END") && second == "ATOM") {
        if (first == "END" && inAtoms_) return false;
        inAtoms_ = first == "BEGIN";
        return true;
      }
      if (!inAtoms_) return true;
      ++atoms_;
      field_ = 0;
    } else if (!inAtoms_) {
      return true;
    }
    TTokens tokens(body);
    std::string_view token;
    while (field_ <= 4 && tokens.Next(token)) {
      if (field_ == 1 && token == "NOT") continue;  // an atom list: "NOT [N,O]" is one type
      if (field_ == 4) has3D_ = has3D_ || ParseNumberIsNonZero(token).value_or(false);
      ++field_;
    }
    return continued_ || !declared_ || atoms_ < *declared_;
  }

  int64_t lineNumber_ = 0;
  bool has3D_ = false;
  bool v3000_ = false;
  std::optional<int64_t> declared_;
  int64_t atoms_ = 0;
  bool inAtoms_ = false;
  bool continued_ = false;
  int field_ = 0;  // of the V3000 atom entry being read
};

// SDF and MOL. Records as SplitSDF cuts them: each "$$$$" line ends one, and what follows the
// last is one more unless it is blank. A MOL file is one record.
class TSdfMachine : public TLineMachine<TSdfMachine> {
 public:
  TSdfMachine(int64_t target, size_t maxLine, bool singleRecord)
      : TLineMachine(target, maxLine), singleRecord_(singleRecord) {
    done_ = singleRecord && target > 0;
  }

  bool OnLine(const TLine& line) {
    bool mark = IsRecordEnd(line);
    bool inTarget = IsTarget(marks_);
    if (inTarget && !mark && !readerDone_) readerDone_ = !reader_.Line(line.Head);
    if (mark) {
      ++marks_;
      content_ = false;
    } else if (!content_) {
      content_ = !line.Blank();
    }
    // A record of blank lines is one only when a mark ends it.
    if (inTarget && (mark || (readerDone_ && content_))) {
      Found(reader_.Result());
      return false;
    }
    if (singleRecord_ && Counting() && (marks_ > 0 || content_)) {
      records_ = 1;
      return false;
    }
    return true;
  }

  // Outside the record surveyed, a line without '$' is never a mark, and once the record under
  // way has shown content it changes nothing: there only the lines around each '$' are read.
  bool FeedPiece(std::string_view piece) {
    if (singleRecord_ || piece.empty()) return FeedLines(piece);
    const char* p = piece.data();
    const char* end = p + piece.size();
    TBreakFinder breaks(p, end);
    while (p < end) {
      if (IsTarget(marks_)) return FeedLines(std::string_view(p, static_cast<size_t>(end - p)));
      if (content_ && AtLineStart()) {
        const char* dollar = FindByte(p, end, '$');
        const char* lineStart = dollar;
        while (lineStart > p && lineStart[-1] != '\n' && lineStart[-1] != '\r') --lineStart;
        p = lineStart;
        if (dollar == end) return FeedLines(std::string_view(p, static_cast<size_t>(end - p)));
      }
      const char* lineBreak = breaks.Next(p);
      const char* next = lineBreak == end ? end : lineBreak + 1;
      if (!FeedLines(std::string_view(p, static_cast<size_t>(next - p)))) return false;
      p = next;
    }
    return true;
  }

  void OnEnd() {
    records_ = marks_ + (content_ ? 1 : 0);
    if (singleRecord_) records_ = std::min<int64_t>(records_, 1);
    if (IsTarget(marks_) && content_) Found(reader_.Result());
  }

 private:
  bool singleRecord_;
  int64_t marks_ = 0;
  bool content_ = false;  // a non-blank line since the last mark
  TMolRecordReader reader_;
  bool readerDone_ = false;
};

// PDB: one record; its atoms are the ATOM and HETATM lines up to the first ENDMDL or END.
class TPdbMachine : public TLineMachine<TPdbMachine> {
 public:
  TPdbMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) { done_ = target > 0; }

  bool OnLine(const TLine& line) {
    if (!content_) content_ = !line.Blank();
    if (Counting()) {
      records_ = content_ ? 1 : 0;
      return !content_;
    }
    std::string_view name = Field(line.Head, 0, 6);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name == "ATOM" || name == "HETATM") {
      ++atoms_;
    } else if (name == "ENDMDL" || name == "END") {
      Found(Result());
      return false;
    }
    return true;
  }

  void OnEnd() {
    if (IsTarget(0) && content_) Found(Result());
  }

 private:
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, true, true}; }

  bool content_ = false;
  int64_t atoms_ = 0;
};

// XYZ: blocks of a count line, a title line and that many atom lines ("element x y z ...").
// Blank lines between blocks are passed over; a block whose atom lines stop early ends there.
class TXyzMachine : public TLineMachine<TXyzMachine> {
 public:
  TXyzMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    if (stage_ == TStage::Title) {
      stage_ = TStage::Atoms;
      return declared_ > 0 || EndBlock();
    }
    if (stage_ == TStage::Atoms) {
      if (IsAtomLine(line.Head)) {
        ++atoms_;
        return atoms_ < declared_ || EndBlock();
      }
      if (!EndBlock()) return false;  // this line may be the next block's count line
    }
    if (line.Blank()) return true;
    std::optional<int64_t> count = ParseCount(TokenAt(line.Head, 0));
    if (!count) {
      exact_ = false;  // the rest is no XYZ: what it holds is not counted
      return false;
    }
    ++records_;
    declared_ = *count;
    atoms_ = 0;
    stage_ = TStage::Title;
    return true;
  }

  void OnEnd() {
    if (stage_ != TStage::CountLine && IsTarget(records_ - 1)) Found(Result());
  }

 private:
  enum class TStage { CountLine, Title, Atoms };

  static bool IsAtomLine(std::string_view head) {
    TTokens tokens(head);
    std::string_view token;
    if (!tokens.Next(token)) return false;
    for (int axis = 0; axis < 3; ++axis)
      if (!tokens.Next(token) || !ParseNumberIsNonZero(token)) return false;
    return true;
  }

  // False when the block that ended was the one surveyed.
  bool EndBlock() {
    stage_ = TStage::CountLine;
    if (!IsTarget(records_ - 1)) return true;
    Found(Result());
    return false;
  }

  TRecordSurvey Result() const { return TRecordSurvey{atoms_, atoms_ == declared_, true}; }

  TStage stage_ = TStage::CountLine;
  int64_t declared_ = 0;
  int64_t atoms_ = 0;
};

// MOL2: each @<TRIPOS>MOLECULE section is a record; the line after the molecule's name starts
// with its atom count, and its @<TRIPOS>ATOM section has one "id name x y z ..." line per atom.
class TMol2Machine : public TLineMachine<TMol2Machine> {
 public:
  TMol2Machine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    std::string_view head = TrimLeftView(line.Head);
    if (!head.empty() && head[0] == '@' && StartsWith(head, "@<TRIPOS>")) return Section(TrimView(head.substr(9)));
    bool inTarget = IsTarget(records_ - 1);
    switch (stage_) {
      case TStage::Name:
        stage_ = TStage::Counts;
        return true;
      case TStage::Counts:
        declared_ = ParseCount(TokenAt(head, 0));
        stage_ = TStage::Other;
        return !(inTarget && declared_ == 0) || Done();
      case TStage::Atoms:
        if (!inTarget || head.empty() || head[0] == '#') return true;
        ++atoms_;
        has3D_ = has3D_ || ParseNumberIsNonZero(TokenAt(head, 4)).value_or(false);
        return !declared_ || atoms_ < *declared_ || Done();
      case TStage::Other:
        return true;
    }
    return true;
  }

  void OnEnd() {
    if (IsTarget(records_ - 1)) Found(Result());
  }

 private:
  enum class TStage { Other, Name, Counts, Atoms };

  bool Section(std::string_view name) {
    bool inTarget = IsTarget(records_ - 1);
    if (name == "MOLECULE") {
      if (inTarget) return Done();
      ++records_;
      stage_ = TStage::Name;
      declared_.reset();
      return true;
    }
    if (inTarget && stage_ == TStage::Atoms) return Done();
    stage_ = name == "ATOM" ? TStage::Atoms : TStage::Other;
    return true;
  }

  bool Done() {
    Found(Result());
    return false;
  }
  TRecordSurvey Result() const { return TRecordSurvey{atoms_, declared_ && atoms_ == *declared_, has3D_}; }

  TStage stage_ = TStage::Other;
  std::optional<int64_t> declared_;
  int64_t atoms_ = 0;  // of the record surveyed
  bool has3D_ = false;
};

// The atoms written in a SMILES string: one per bracket atom, one per organic-subset symbol
// (B C N O P S F Cl Br I, aromatic b c n o p s) and per '*'. Bonds, ring digits, branches and
// whatever stands inside brackets add none; the second letters of Cl and Br are no symbols.
int64_t CountSmilesAtoms(std::string_view smiles) {
  int64_t atoms = 0;
  bool inBracket = false;
  for (char c : smiles) {
    if (inBracket) {
      inBracket = c != ']';
    } else if (c == '[') {
      inBracket = true;
      ++atoms;
    } else if (c != '\0' && std::strchr("BCNOPSFIbcnops*", c)) {
      ++atoms;
    }
  }
  return atoms;
}

// SMILES: a record per non-blank line; its first blank-separated field is the string.
class TSmilesMachine : public TLineMachine<TSmilesMachine> {
 public:
  TSmilesMachine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    if (line.Blank() || !IsTarget(records_++)) return true;
    std::string_view head = line.Head;
    size_t start = 0;
    while (start < head.size() && IsBlankChar(head[start])) ++start;
    size_t end = start;
    while (end < head.size() && !IsBlankChar(head[end])) ++end;
    // A string that runs past the line limit is counted as far as the limit goes.
    bool whole = end < head.size() || !line.TailNonBlank;
    Found(TRecordSurvey{CountSmilesAtoms(head.substr(start, end - start)), whole, false});
    return false;
  }

  void OnEnd() {}
};

// CML, by a tolerant scan of the markup (comments, CDATA, declarations and processing
// instructions are passed over): each top-level <molecule> element is a record; its atoms are
// its <atom> elements, or the atomID entries of an array-form <atomArray>; x3, y3 or z3
// attributes on them mean 3D. A file without <molecule> is one record of all its atoms.
class TCmlMachine : public TSurveyMachine {
 public:
  explicit TCmlMachine(int64_t target) : TSurveyMachine(target) {}

  bool Feed(std::string_view bytes) override {
    if (done_ || bytes.empty()) return !done_;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
      if (state_ == TState::Text) {
        if (!content_) {
          while (p < end && IsBlankChar(*p)) ++p;
          if (p == end) break;
          content_ = true;
        }
        const void* open = std::memchr(p, '<', static_cast<size_t>(end - p));
        if (!open) break;
        p = static_cast<const char*>(open) + 1;
        StartMarkup();
        continue;
      }
      if (!Step(*p++)) {
        done_ = true;
        return false;
      }
    }
    return true;
  }

  void Finish() override {
    if (done_) return;
    done_ = true;
    if (records_ > 0) {
      // The file's end cut the molecule (or its closing tag): it may have had more atoms.
      if (IsTarget(records_ - 1)) Found(TRecordSurvey{atoms_, false, has3D_});
    } else if (content_) {
      records_ = 1;
      if (IsTarget(0)) Found(TRecordSurvey{outsideAtoms_, true, outside3D_});
    }
  }

 private:
  enum class TState {
    Text,
    Open,
    Bang,
    BangDash,
    Comment,
    CData,
    Skip,
    Name,
    Tag,
    AttrName,
    AfterAttrName,
    Equals,
    Value,
    BareValue
  };
  static constexpr size_t kMaxName = 256;  // longer names match none of the elements looked for

  void StartMarkup() {
    state_ = TState::Open;
    closing_ = slash_ = tag3D_ = countIds_ = false;
    idTokens_ = 0;
    name_.clear();
  }

  static std::string_view LocalName(std::string_view name) {
    size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }
  static void Append(std::string& s, char c) {
    if (s.size() <= kMaxName) s += c;
  }

  // False once the record surveyed has ended.
  bool Step(char c) {
    bool blank = IsBlankChar(c);
    switch (state_) {
      case TState::Text:
        if (c == '<') StartMarkup();
        return true;
      case TState::Open:
        if (c == '/') {
          closing_ = true;
          state_ = TState::Name;
        } else if (c == '!') {
          state_ = TState::Bang;
        } else if (c == '?') {
          state_ = TState::Skip;
        } else if (c == '<') {
          StartMarkup();
        } else if (blank || c == '>') {
          state_ = TState::Text;
        } else {
          Append(name_, c);
          state_ = TState::Name;
        }
        return true;
      case TState::Bang:
        dashes_ = 0;
        state_ = c == '-' ? TState::BangDash : c == '[' ? TState::CData : c == '>' ? TState::Text : TState::Skip;
        return true;
      case TState::BangDash:
        state_ = c == '-' ? TState::Comment : c == '>' ? TState::Text : TState::Skip;
        return true;
      case TState::Comment:
      case TState::CData: {
        char closer = state_ == TState::Comment ? '-' : ']';
        if (c == '>' && dashes_ >= 2) state_ = TState::Text;
        dashes_ = c == closer ? std::min(dashes_ + 1, 2) : 0;
        return true;
      }
      case TState::Skip:
        if (c == '>') state_ = TState::Text;
        return true;
      case TState::Name:
        if (c == '>') return EndOfTag();
        if (c == '/' || blank) {
          slash_ = c == '/';
          state_ = TState::Tag;
        } else {
          Append(name_, c);
        }
        return true;
      case TState::Tag:
      case TState::AfterAttrName:
        if (blank) return true;
        if (c == '>') return EndOfTag();
        if (c == '/') {
          slash_ = true;
          state_ = TState::Tag;
          return true;
        }
        slash_ = false;
        if (state_ == TState::AfterAttrName && c == '=') {
          state_ = TState::Equals;
        } else if (c == '"' || c == '\'') {
          quote_ = c;  // a value without a name: passed over
          countIds_ = false;
          state_ = TState::Value;
        } else {
          attrName_.assign(1, c);
          state_ = TState::AttrName;
        }
        return true;
      case TState::AttrName:
        if (c == '=' || blank || c == '>' || c == '/') {
          AttrNamed();
          if (c == '>') return EndOfTag();
          slash_ = c == '/';
          state_ = c == '=' ? TState::Equals : c == '/' ? TState::Tag : TState::AfterAttrName;
        } else {
          Append(attrName_, c);
        }
        return true;
      case TState::Equals:
        if (blank) return true;
        if (c == '>') return EndOfTag();
        if (c == '"' || c == '\'') {
          quote_ = c;
          state_ = TState::Value;
        } else {
          state_ = TState::BareValue;
          ValueByte(c);
        }
        return true;
      case TState::Value:
        if (c == quote_)
          state_ = TState::Tag;
        else
          ValueByte(c);
        return true;
      case TState::BareValue:
        if (c == '>') return EndOfTag();
        if (blank)
          state_ = TState::Tag;
        else
          ValueByte(c);
        return true;
    }
    return true;
  }

  void AttrNamed() {
    std::string_view attr = LocalName(attrName_);
    if (attr == "x3" || attr == "y3" || attr == "z3") tag3D_ = true;
    countIds_ = attr == "atomID" && LocalName(name_) == "atomArray";
    inToken_ = false;
  }

  void ValueByte(char c) {
    if (!countIds_) return;
    bool blank = IsBlankChar(c);
    if (!blank && !inToken_) ++idTokens_;
    inToken_ = !blank;
  }

  bool EndOfTag() {
    state_ = TState::Text;
    std::string_view name = LocalName(name_);
    bool inTarget = IsTarget(records_ - 1);
    if (name == "molecule") {
      if (closing_) {
        if (depth_ == 0 || --depth_ > 0) return true;
        return !inTarget || Done();
      }
      if (depth_ == 0) {
        ++records_;
        atoms_ = 0;
        has3D_ = false;
        if (slash_) return !IsTarget(records_ - 1) || Done();
      }
      if (!slash_) ++depth_;
      return true;
    }
    if (closing_ || (name != "atom" && name != "atomArray")) return true;
    int64_t atoms = name == "atom" ? 1 : idTokens_;
    if (depth_ > 0) {
      atoms_ += atoms;
      has3D_ = has3D_ || tag3D_;
    } else if (records_ == 0) {
      outsideAtoms_ += atoms;
      outside3D_ = outside3D_ || tag3D_;
    }
    return true;
  }

  bool Done() {
    Found(TRecordSurvey{atoms_, true, has3D_});
    return false;
  }

  TState state_ = TState::Text;
  bool done_ = false;
  bool content_ = false;  // a non-blank byte seen
  std::string name_, attrName_;
  bool closing_ = false, slash_ = false, tag3D_ = false;
  char quote_ = '"';
  int dashes_ = 0;
  bool countIds_ = false, inToken_ = false;
  int64_t idTokens_ = 0;
  int64_t depth_ = 0;  // of <molecule> elements
  int64_t atoms_ = 0;  // of the top-level molecule under way
  bool has3D_ = false;
  int64_t outsideAtoms_ = 0;  // before any molecule
  bool outside3D_ = false;
};

std::unique_ptr<TSurveyMachine> MakeMachine(TMolFormat format, int64_t target, size_t maxLine) {
  switch (format) {
    case TMolFormat::Mol:
      return std::make_unique<TSdfMachine>(target, maxLine, true);
    case TMolFormat::Sdf:
      return std::make_unique<TSdfMachine>(target, maxLine, false);
    case TMolFormat::Mol2:
      return std::make_unique<TMol2Machine>(target, maxLine);
    case TMolFormat::Smiles:
      return std::make_unique<TSmilesMachine>(target, maxLine);
    case TMolFormat::Pdb:
      return std::make_unique<TPdbMachine>(target, maxLine);
    case TMolFormat::Xyz:
      return std::make_unique<TXyzMachine>(target, maxLine);
    case TMolFormat::Cml:
      return std::make_unique<TCmlMachine>(target);
    case TMolFormat::Unknown:
      break;
  }
  return std::make_unique<TNoAnswer>();
}

// Feeds the file to `feed` in pieces until all is read or `feed` wants no more; false when
// the file cannot be opened or read.
template <class F>
bool FeedFile(const std::string& fileName, F&& feed) {
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) return false;
  // A small file needs no full-size piece; one that grows while read is still read whole.
  uint64_t size = FileSizeOf(f.get()).value_or(kReadPiece);
  std::vector<char> piece(static_cast<size_t>(std::clamp<uint64_t>(size + 1, 4096, kReadPiece)));
  size_t got;
  while ((got = std::fread(piece.data(), 1, piece.size(), f.get())) > 0)
    if (!feed(std::string_view(piece.data(), got))) return true;
  return !std::ferror(f.get());
}

}  // namespace

TRecordCounter::TRecordCounter(TMolFormat format, size_t maxLineBytes)
    : machine_(MakeMachine(format, -1, maxLineBytes)) {}
TRecordCounter::~TRecordCounter() = default;

bool TRecordCounter::Feed(std::string_view bytes) {
  return machine_->Feed(bytes);
}

TMolSurvey TRecordCounter::Finish() {
  machine_->Finish();
  return machine_->Records();
}

TRecordSurveyor::TRecordSurveyor(TMolFormat format, int64_t index, size_t maxLineBytes)
    : machine_(index < 0 ? std::make_unique<TNoAnswer>() : MakeMachine(format, index, maxLineBytes)) {}
TRecordSurveyor::~TRecordSurveyor() = default;

bool TRecordSurveyor::Feed(std::string_view bytes) {
  return machine_->Feed(bytes);
}

std::optional<TRecordSurvey> TRecordSurveyor::Finish() {
  machine_->Finish();
  return machine_->Record();
}

TMolSurvey SurveyRecords(std::string_view text, TMolFormat format) {
  TRecordCounter counter(format);
  counter.Feed(text);
  return counter.Finish();
}

std::optional<TRecordSurvey> SurveyRecord(std::string_view text, TMolFormat format, int64_t index) {
  TRecordSurveyor surveyor(format, index);
  surveyor.Feed(text);
  return surveyor.Finish();
}

std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName) {
  return SurveyFileRecords(fileName, MolFormatFromFileName(fileName));
}

std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName, TMolFormat format) {
  if (format == TMolFormat::Unknown) return std::nullopt;
  try {
    TRecordCounter counter(format);
    if (!FeedFile(fileName, [&counter](std::string_view piece) { return counter.Feed(piece); })) return std::nullopt;
    return counter.Finish();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, int64_t index) {
  return SurveyFileRecord(fileName, MolFormatFromFileName(fileName), index);
}

std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, TMolFormat format, int64_t index) {
  if (format == TMolFormat::Unknown) return std::nullopt;
  try {
    TRecordSurveyor surveyor(format, index);
    if (!FeedFile(fileName, [&surveyor](std::string_view piece) { return surveyor.Feed(piece); })) return std::nullopt;
    return surveyor.Finish();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace pelorin
