// CML files: the survey of their molecules.
#include "formats/uCMLFormat.h"

#include <algorithm>
#include <string>

#include "support/uText.h"

namespace pelorin {
namespace {

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
        const char* open = FindByte(p, end, '<');
        if (open == end) break;
        p = open + 1;
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

}  // namespace

TSurveyMachinePtr MakeCMLSurvey(int64_t target) {
  return std::make_unique<TCmlMachine>(target);
}

}  // namespace pelorin
