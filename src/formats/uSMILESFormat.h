// SMILES files: one molecule per non-blank line; the survey of those lines (written atoms).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The atoms written in a SMILES string: one per bracket atom, one per organic-subset symbol
// (B C N O P S F Cl Br I, aromatic b c n o p s) and per '*'. Bonds, ring digits, branches and
// whatever stands inside brackets add none; the second letters of Cl and Br are no symbols.
int64_t CountSmilesAtoms(std::string_view smiles);

// The survey machine of SMILES text, on the viewer's record rule (TRecordRule::kLines): a
// record per non-blank line, whose first blank-separated word is the string. Counts records
// when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeSMILESSurvey(int64_t target, size_t maxLine);

}  // namespace pelorin
