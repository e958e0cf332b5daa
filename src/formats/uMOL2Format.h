// MOL2 (Tripos) files: the survey of their molecules (atoms and 3D).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The name of the section a MOL2 line opens: "@<TRIPOS>" after any blanks, then the name, blanks
// around it dropped ("ATOM" of "@<TRIPOS>ATOM"); nullopt for any other line.
std::optional<std::string_view> Mol2SectionOf(std::string_view line);

// The record rule of MOL2 text: each @<TRIPOS>MOLECULE section is a record, which ends where the
// next one starts or with the file; what stands before the first belongs to it. Text without a
// MOLECULE section holds no record.
class TMOL2RecordRule {
 public:
  static constexpr bool kEndsOfItsOwn = false;
  static constexpr bool kEndsAtBreak = false;
  TLineEnd Take(const TLine& line);
  bool OpenRecordCounts() const { return molecules_; }

 private:
  bool molecules_ = false;  // a MOLECULE section has begun
};
std::unique_ptr<TFormatRecordScanner> MakeMOL2RecordScanner(size_t maxLine);

// The survey machine of MOL2 text: its records are the record rule's. Counts records when
// `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeMOL2Survey(int64_t target, size_t maxLine);

}  // namespace pelorin
