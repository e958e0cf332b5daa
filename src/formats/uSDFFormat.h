// MOL and SDF files: the survey of their records (atoms and 3D) on the record rule of the viewer
// (uRecordScan), so that the survey's records are the ones the viewer steps through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The survey machine of SDF files (records end at "$$$$" lines), or of a MOL file
// (`singleRecord`: the file is one record, its first). Counts records when `target` is
// negative, surveys record `target` otherwise.
TSurveyMachinePtr MakeSDFSurvey(int64_t target, size_t maxLine, bool singleRecord);

}  // namespace pelorin
