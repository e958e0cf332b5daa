// The title and data items of an SDF record.
#include "formats/uSDFData.h"

#include "formats/uSDFFormat.h"
#include "support/uText.h"

namespace pelorin {

namespace {

bool IsHeaderLine(std::string_view line) {
  return !line.empty() && line.front() == '>';
}

// A header that names its item in angle brackets: only such a line cuts a value short, since a
// value line may well begin with '>' (">100" for an activity beyond the assay's range).
bool IsNamedHeaderLine(std::string_view line) {
  if (!IsHeaderLine(line)) return false;
  const size_t open = line.find('<', 1);
  return open != std::string_view::npos && line.find('>', open + 1) != std::string_view::npos;
}

std::string_view TrimRightView(std::string_view s) {
  while (!s.empty() && IsBlankChar(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view DataItemName(std::string_view headerLine) {
  if (headerLine.empty()) return {};
  const std::string_view rest = headerLine.substr(1);
  const size_t open = rest.find('<');
  if (open == std::string_view::npos) return TrimView(rest);
  const std::string_view name = rest.substr(open + 1);
  const size_t close = name.find('>');
  return close == std::string_view::npos ? TrimRightView(name) : name.substr(0, close);
}

TSDFPieces::TSDFPieces(std::string_view record)
    : at_(record.data()), end_(record.data() + record.size()), breaks_(at_, end_) {}

bool TSDFPieces::NextLine(std::string_view& line) {
  if (at_ >= end_) return false;
  const char* lineBreak = breaks_.Next(at_);
  line = std::string_view(at_, static_cast<size_t>(lineBreak - at_));
  at_ = lineBreak < end_ ? AfterBreak(lineBreak, end_) : end_;
  ++lineNumber_;
  return true;
}

void TSDFPieces::StartItem(std::string_view line, TSDFPiece& piece) {
  state_ = kValue;
  valueLines_ = 0;
  piece = TSDFPiece{TSDFPart::kItemName, items_++, 0, DataItemName(line)};
}

bool TSDFPieces::Next(TSDFPiece& piece) {
  std::string_view line;
  while (state_ != kDone && NextLine(line)) {
    const size_t number = lineNumber_ - 1;
    if (IsSDFEndMark(line)) break;  // a record that is nothing but its end mark has no title either
    if (state_ == kTitle) {
      state_ = kMolfile;
      piece = TSDFPiece{TSDFPart::kTitle, 0, 0, line};
      return true;
    }
    switch (state_) {
      case kMolfile:
        // Lines 1 and 2 are the program and comment lines, free text; the molfile's own lines
        // never begin with '>'.
        if (number < 3) break;
        if (StartsWith(line, "M  END")) {
          state_ = kBetween;
        } else if (IsHeaderLine(line)) {
          StartItem(line, piece);
          return true;
        }
        break;
      case kBetween:
        if (IsHeaderLine(line)) {
          StartItem(line, piece);
          return true;
        }
        break;
      case kValue:
        if (!HasNonBlank(line)) {
          state_ = kBetween;
          break;
        }
        if (IsNamedHeaderLine(line)) {
          StartItem(line, piece);
          return true;
        }
        piece = TSDFPiece{TSDFPart::kItemValue, items_ - 1, valueLines_++, line};
        return true;
      case kTitle:
      case kDone:
        break;
    }
  }
  state_ = kDone;
  return false;
}

TSDFRecordData ReadSDFRecordData(std::string_view record) {
  TSDFRecordData data;
  TSDFPieces pieces(record);
  TSDFPiece piece;
  while (pieces.Next(piece)) {
    switch (piece.Part) {
      case TSDFPart::kTitle:
        data.Title = TrimRightView(piece.Text);
        break;
      case TSDFPart::kItemName:
        data.Items.push_back(TDataItem{std::string(piece.Text), std::string()});
        break;
      case TSDFPart::kItemValue: {
        std::string& value = data.Items.back().Value;
        if (piece.Line > 0) value += '\n';
        value += piece.Text;
        break;
      }
    }
  }
  return data;
}

}  // namespace pelorin
