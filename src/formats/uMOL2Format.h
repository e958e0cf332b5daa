// MOL2 (Tripos) files: the survey of their molecules (atoms and 3D).
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The survey machine of MOL2 text: each @<TRIPOS>MOLECULE section is a record. Counts records
// when `target` is negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeMOL2Survey(int64_t target, size_t maxLine);

}  // namespace pelorin
