// CML (Chemical Markup Language) files: a tolerant scan of their markup, the record rule (each
// top-level <molecule> element is a record) and the survey of their molecules (atoms and 3D), the
// rule and the survey on the same scan.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// A tag whose '>' the scan has reached.
struct TCMLTag {
  std::string_view Name;  // local name (after any prefix), at most a few hundred bytes
  bool Closing = false;   // </name>
  bool Empty = false;     // <name ... />
  bool Has3D = false;     // an x3, y3 or z3 attribute
  int64_t AtomIds = 0;    // of an <atomArray>: the words of its atomID attribute
  uint64_t Start = 0;     // the offset of its '<' in the bytes scanned
};

// A tolerant scan of markup, fed in pieces cut anywhere: comments, CDATA, declarations and
// processing instructions are passed over, attribute values in either quote (or none) are
// skipped. `onTag(const TCMLTag&)` hears of each tag at its '>' and returns false to stop the scan.
class TCMLScan {
 public:
  // False once onTag has stopped the scan.
  template <class F>
  bool Feed(std::string_view bytes, F&& onTag) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    const uint64_t base = offset_;
    offset_ += bytes.size();
    while (p < end) {
      if (state_ == TState::Text) {
        if (!content_) {
          while (p < end && static_cast<unsigned char>(*p) <= 32) ++p;
          if (p == end) break;
          content_ = true;
        }
        const char* open = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (!open) break;
        StartMarkup(base + static_cast<uint64_t>(open - bytes.data()));
        p = open + 1;
        continue;
      }
      const uint64_t at = base + static_cast<uint64_t>(p - bytes.data());
      if (Step(*p++, at) && !onTag(tag_)) return false;
    }
    return true;
  }
  // A byte other than a blank has been seen.
  bool Content() const { return content_; }
  // The offset of the byte after the last one that ended a tag.
  uint64_t AfterTag() const { return afterTag_; }

 private:
  enum class TState : uint8_t {
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

  void StartMarkup(uint64_t at);
  // True when `c` (at offset `at`) ended a tag, which tag_ then describes.
  bool Step(char c, uint64_t at);
  bool EndOfTag(uint64_t at);
  void AttrNamed();
  void ValueByte(char c);

  TState state_ = TState::Text;
  bool content_ = false;
  uint64_t offset_ = 0;
  uint64_t afterTag_ = 0;
  std::string name_, attrName_;
  TCMLTag tag_;
  char quote_ = '"';
  int dashes_ = 0;
  bool countIds_ = false, inToken_ = false;
};

// The record rule of CML on the scan's tags: each top-level <molecule> element is a record
// (molecules inside it are its own); a file without one is one record of all its content.
class TCMLRecords {
 public:
  enum class TEvent : uint8_t { kNone, kOpened, kClosed };
  // What the tag does to the records: a top-level molecule opened or closed (an empty
  // <molecule/> at the top level opens one and closes it: kClosed).
  TEvent Take(const TCMLTag& tag);
  // A top-level molecule is open.
  bool InMolecule() const { return depth_ > 0; }
  int64_t Molecules() const { return molecules_; }

 private:
  int64_t depth_ = 0;  // of <molecule> elements
  int64_t molecules_ = 0;
};

// Tags are scanned without a line limit of their own: `maxLine` is not used.
std::unique_ptr<TFormatRecordScanner> MakeCMLRecordScanner(size_t maxLine);

// Where the record's own text starts in a CML record's bytes: the '<' of its top-level
// <molecule> tag, or `begin` when it holds none.
const char* CMLMoleculeStart(const char* begin, const char* end);

// The survey machine of CML text: its records are the record rule's; a record's atoms are its
// <atom> elements (or the atomID entries of an array-form atomArray), 3D when an x3, y3 or z3
// attribute stands on one. Counts records when `target` is negative, surveys record `target`
// otherwise. `maxLine` is not used.
TSurveyMachinePtr MakeCMLSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
