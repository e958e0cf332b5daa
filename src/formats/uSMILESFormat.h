// SMILES files: one molecule per non-blank line; the record rule of those lines and their survey
// (written atoms).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The atoms written in a SMILES string: one per bracket atom, one per organic-subset symbol
// (B C N O P S F Cl Br I, aromatic b c n o p s) and per '*'. Bonds, ring digits, branches and
// whatever stands inside brackets add none; the second letters of Cl and Br are no symbols.
int64_t CountSmilesAtoms(std::string_view smiles);

// The record rule of SMILES text: a record is one line holding anything but blanks, with the blank
// lines before it, and ends after that line's break (a last line without one was cut).
class TSMILESRecordRule {
 public:
  static constexpr bool kEndsOfItsOwn = false;  // blank lines at the end are no record
  static constexpr bool kEndsAtBreak = true;
  TLineEnd Take(const TLine& line) const { return line.Blank() ? TLineEnd::kNone : TLineEnd::kAfter; }
  bool OpenRecordCounts() const { return false; }
};
std::unique_ptr<TFormatRecordScanner> MakeSMILESRecordScanner(size_t maxLine);

// The survey machine of SMILES text, on the record rule: a record per non-blank line, whose first
// blank-separated word is the string. Counts records
// when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeSMILESSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
