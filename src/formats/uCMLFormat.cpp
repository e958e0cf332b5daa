// CML files: the scan of their markup, the record rule and the survey of their molecules.
#include "formats/uCMLFormat.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/uText.h"

namespace pelorin {
namespace {

constexpr size_t kMaxName = 256;  // longer names match none of the elements looked for

std::string_view LocalName(std::string_view name) {
  size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

void Append(std::string& s, char c) {
  if (s.size() <= kMaxName) s += c;
}

}  // namespace

void TCMLScan::StartMarkup(uint64_t at) {
  state_ = TState::Open;
  tag_ = TCMLTag();
  tag_.Start = at;
  countIds_ = false;
  name_.clear();
}

bool TCMLScan::Step(char c, uint64_t at) {
  const bool blank = IsBlankChar(c);
  switch (state_) {
    case TState::Text:
      if (c == '<') StartMarkup(at);
      return false;
    case TState::Open:
      if (c == '/') {
        tag_.Closing = true;
        state_ = TState::Name;
      } else if (c == '!') {
        state_ = TState::Bang;
      } else if (c == '?') {
        state_ = TState::Skip;
      } else if (c == '<') {
        StartMarkup(at);
      } else if (blank || c == '>') {
        state_ = TState::Text;
      } else {
        Append(name_, c);
        state_ = TState::Name;
      }
      return false;
    case TState::Bang:
      dashes_ = 0;
      state_ = c == '-' ? TState::BangDash : c == '[' ? TState::CData : c == '>' ? TState::Text : TState::Skip;
      return false;
    case TState::BangDash:
      state_ = c == '-' ? TState::Comment : c == '>' ? TState::Text : TState::Skip;
      return false;
    case TState::Comment:
    case TState::CData: {
      char closer = state_ == TState::Comment ? '-' : ']';
      if (c == '>' && dashes_ >= 2) state_ = TState::Text;
      dashes_ = c == closer ? std::min(dashes_ + 1, 2) : 0;
      return false;
    }
    case TState::Skip:
      if (c == '>') state_ = TState::Text;
      return false;
    case TState::Name:
      if (c == '>') return EndOfTag(at);
      if (c == '/' || blank) {
        tag_.Empty = c == '/';
        state_ = TState::Tag;
      } else {
        Append(name_, c);
      }
      return false;
    case TState::Tag:
    case TState::AfterAttrName:
      if (blank) return false;
      if (c == '>') return EndOfTag(at);
      if (c == '/') {
        tag_.Empty = true;
        state_ = TState::Tag;
        return false;
      }
      tag_.Empty = false;
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
      return false;
    case TState::AttrName:
      if (c == '=' || blank || c == '>' || c == '/') {
        AttrNamed();
        if (c == '>') return EndOfTag(at);
        tag_.Empty = c == '/';
        state_ = c == '=' ? TState::Equals : c == '/' ? TState::Tag : TState::AfterAttrName;
      } else {
        Append(attrName_, c);
      }
      return false;
    case TState::Equals:
      if (blank) return false;
      if (c == '>') return EndOfTag(at);
      if (c == '"' || c == '\'') {
        quote_ = c;
        state_ = TState::Value;
      } else {
        state_ = TState::BareValue;
        ValueByte(c);
      }
      return false;
    case TState::Value:
      if (c == quote_)
        state_ = TState::Tag;
      else
        ValueByte(c);
      return false;
    case TState::BareValue:
      if (c == '>') return EndOfTag(at);
      if (blank)
        state_ = TState::Tag;
      else
        ValueByte(c);
      return false;
  }
  return false;
}

void TCMLScan::AttrNamed() {
  std::string_view attr = LocalName(attrName_);
  if (attr == "x3" || attr == "y3" || attr == "z3") tag_.Has3D = true;
  countIds_ = attr == "atomID" && LocalName(name_) == "atomArray";
  inToken_ = false;
}

void TCMLScan::ValueByte(char c) {
  if (!countIds_) return;
  bool blank = IsBlankChar(c);
  if (!blank && !inToken_) ++tag_.AtomIds;
  inToken_ = !blank;
}

bool TCMLScan::EndOfTag(uint64_t at) {
  state_ = TState::Text;
  tag_.Name = LocalName(name_);
  afterTag_ = at + 1;
  return true;
}

TCMLRecords::TEvent TCMLRecords::Take(const TCMLTag& tag) {
  if (tag.Name != "molecule") return TEvent::kNone;
  if (tag.Closing) {
    if (depth_ == 0 || --depth_ > 0) return TEvent::kNone;
    return TEvent::kClosed;
  }
  if (tag.Empty) {
    if (depth_ > 0) return TEvent::kNone;
    ++molecules_;
    return TEvent::kClosed;
  }
  if (depth_++ > 0) return TEvent::kNone;
  ++molecules_;
  return TEvent::kOpened;
}

namespace {

// CML records: each ends after the '>' that closes its top-level molecule; a molecule the file's
// end cuts still counts, and so does the content of a file without any molecule.
class TCMLRecordScanner final : public TFormatRecordScanner {
 public:
  void Feed(const char* begin, const char* end, std::vector<uint64_t>& ends) override {
    scan_.Feed(std::string_view(begin, static_cast<size_t>(end - begin)), [&](const TCMLTag& tag) {
      if (records_.Take(tag) == TCMLRecords::TEvent::kClosed) ends.push_back(scan_.AfterTag());
      return true;
    });
    offset_ += static_cast<uint64_t>(end - begin);
  }
  bool Finish(std::vector<uint64_t>& ends) override {
    const bool counts = records_.InMolecule() || (records_.Molecules() == 0 && scan_.Content());
    if (counts && offset_ > 0) ends.push_back(offset_);
    return counts;
  }

 private:
  TCMLScan scan_;
  TCMLRecords records_;
  uint64_t offset_ = 0;
};

// The survey: records as the rule has them; the atoms of the record surveyed.
class TCmlMachine : public TSurveyMachine {
 public:
  explicit TCmlMachine(int64_t target) : TSurveyMachine(target) {}

  bool Feed(std::string_view bytes) override {
    if (done_ || bytes.empty()) return !done_;
    if (!scan_.Feed(bytes, [this](const TCMLTag& tag) { return Tag(tag); })) done_ = true;
    return !done_;
  }

  void Finish() override {
    if (done_) return;
    done_ = true;
    if (rule_.Molecules() > 0) {
      // The file's end cut the molecule (or its closing tag): it may have had more atoms.
      if (rule_.InMolecule() && IsTarget(rule_.Molecules() - 1)) Done(false);
    } else if (scan_.Content() && IsTarget(0)) {
      Found(TRecordSurvey{outsideAtoms_, true, outside3D_});
    }
  }

 private:
  // False once the record surveyed has ended.
  bool Tag(const TCMLTag& tag) {
    const bool inMolecule = rule_.InMolecule();
    switch (rule_.Take(tag)) {
      case TCMLRecords::TEvent::kOpened:
        atoms_ = 0;
        has3D_ = false;
        return true;
      case TCMLRecords::TEvent::kClosed:
        if (!inMolecule) {  // an empty <molecule/>
          atoms_ = 0;
          has3D_ = false;
        }
        return !IsTarget(rule_.Molecules() - 1) || Done(true);
      case TCMLRecords::TEvent::kNone:
        break;
    }
    if (tag.Closing || (tag.Name != "atom" && tag.Name != "atomArray")) return true;
    const int64_t atoms = tag.Name == "atom" ? 1 : tag.AtomIds;
    if (rule_.InMolecule()) {
      atoms_ += atoms;
      has3D_ = has3D_ || tag.Has3D;
    } else if (rule_.Molecules() == 0) {
      outsideAtoms_ += atoms;
      outside3D_ = outside3D_ || tag.Has3D;
    }
    return true;
  }

  bool Done(bool whole) {
    Found(TRecordSurvey{atoms_, whole, has3D_});
    return false;
  }

  TCMLScan scan_;
  TCMLRecords rule_;
  bool done_ = false;
  int64_t atoms_ = 0;  // of the top-level molecule under way
  bool has3D_ = false;
  int64_t outsideAtoms_ = 0;  // before any molecule
  bool outside3D_ = false;
};

}  // namespace

std::unique_ptr<TFormatRecordScanner> MakeCMLRecordScanner(size_t /*maxLine*/) {
  return std::make_unique<TCMLRecordScanner>();
}

const char* CMLMoleculeStart(const char* begin, const char* end) {
  TCMLScan scan;
  TCMLRecords records;
  const char* start = begin;
  scan.Feed(std::string_view(begin, static_cast<size_t>(end - begin)), [&](const TCMLTag& tag) {
    if (records.Take(tag) == TCMLRecords::TEvent::kNone) return true;
    start = begin + tag.Start;
    return false;
  });
  return start;
}

TSurveyMachinePtr MakeCMLSurvey(int64_t target, size_t /*maxLine*/) {
  if (target < 0) return std::make_unique<TScannedRecordCounter>(TRecordRule::kCML, kSurveyMaxLineBytes);
  return std::make_unique<TCmlMachine>(target);
}

}  // namespace pelorin
