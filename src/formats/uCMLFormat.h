// CML (Chemical Markup Language) files: the survey of their molecules (atoms and 3D).
#pragma once

#include <cstdint>

#include "formats/uSurveyMachine.h"

namespace pelorin {

// The survey machine of CML text: each top-level <molecule> element is a record (a file without
// one is one record of all its atoms). Counts records when `target` is negative, surveys record
// `target` otherwise.
TSurveyMachinePtr MakeCMLSurvey(int64_t target);

}  // namespace pelorin
