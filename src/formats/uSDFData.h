// The data of an SDF record beyond its drawing: its title (the molfile's first line) and its data
// items ("> <NAME>" header lines, each with value lines up to a blank line), read from the text of
// one record, as the viewer lists them and the search looks through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/uTextScan.h"

namespace pelorin {

// What part of a record a piece of its text is.
enum class TSDFPart : uint8_t {
  kTitle,      // the first line
  kItemName,   // the name of a data item
  kItemValue,  // one line of a data item's value
};

// One piece of a record: the title, an item's name or one line of its value. `Item` counts the
// data items from 0, `Line` the lines of a value from 0.
struct TSDFPiece {
  TSDFPart Part = TSDFPart::kTitle;
  size_t Item = 0;
  size_t Line = 0;
  std::string_view Text;
};

// The name a data header line gives its item: the text between its first '<' and the next '>'
// (up to the line's end when no '>' closes it), or, for a header without angle brackets
// ("> DT12"), the words after its '>'. Headers may carry a field number and a registry number
// around the name: "> 25  <MELTING.POINT>", ">  <NAME>  (MFCD00012345)".
std::string_view DataItemName(std::string_view headerLine);

// The pieces of one record's text in text order, as views into it: nothing is copied. Lines may
// end in LF, CR LF or CR. Data items begin after the "M  END" line, or at the first header line
// (a line that begins with '>') from the counts line on when the record has none; a "$$$$" line
// ends them. A value ends at a blank line, or where a header line that names an item in angle
// brackets follows without one between (a value such as ">100" is a value line); other lines
// between items are skipped. The text must outlive the reader and its pieces.
class TSDFPieces {
 public:
  explicit TSDFPieces(std::string_view record);
  // The next piece; false when there are no more.
  bool Next(TSDFPiece& piece);

 private:
  enum TState : uint8_t { kTitle, kMolfile, kBetween, kValue, kDone };
  bool NextLine(std::string_view& line);
  void StartItem(std::string_view line, TSDFPiece& piece);

  const char* at_;
  const char* end_;
  TBreakFinder breaks_;
  TState state_ = kTitle;
  size_t lineNumber_ = 0;  // of the line NextLine gives next
  size_t items_ = 0;       // items begun so far
  size_t valueLines_ = 0;  // value lines of the current item so far
};

// A data item as the viewer shows it: its value's lines joined by "\n".
struct TDataItem {
  std::string Name;
  std::string Value;
};

struct TSDFRecordData {
  std::string Title;  // without blanks at its end
  std::vector<TDataItem> Items;
};

// The title and data items of one record's text. What it holds never exceeds the record's bytes
// plus a fixed size per item.
TSDFRecordData ReadSDFRecordData(std::string_view record);

}  // namespace pelorin
