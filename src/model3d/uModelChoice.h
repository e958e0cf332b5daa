// The choice between the atom model and the converter's surface, and the atoms of a molecule
// file for the atom model: read straight from a PDB or XYZ file, which already is a table of
// element and position, or from the converter's XYZ output otherwise.
#pragma once

#include <optional>
#include <string>

#include "formats/uAtomTable.h"
#include "formats/uMolSurvey.h"
#include "model3d/uMeshModel.h"
#include "support/uConfig.h"

#ifdef _WIN32
#include "convert/uConverter.h"
#endif

namespace pelorin {

// The 3D model of a record. Surface and Atoms are drawn as set. Auto draws the surface for up
// to `maxSurfaceAtoms` atoms by the survey (a record it cannot tell counts as small) while
// `surfaceWithinBudget` says the surface fits the memory budget, and atoms otherwise.
TModelKind ChooseModelKind(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                           bool surfaceWithinBudget);

#ifdef _WIN32
// The atoms of a PDB or XYZ file's first record, straight from the file (read within the
// deadline of `limits`, when it has one); false, with no converter run, for any other file, when
// the file gives none or the deadline passed.
[[nodiscard]] bool ReadFileOwnAtoms(const std::string& inputPath, TAtomArray& atoms, std::string& error,
                                    const TConversionLimits& limits = {});
// The atoms of the file's first record: straight from a PDB or XYZ file when that reads (within
// the deadline of `limits`, when it has one); otherwise the converter's XYZ run (RunOBabelXYZ with
// `limits`), read and deleted. Never leaves a temporary file behind.
[[nodiscard]] bool LoadFileAtoms(const std::string& inputPath, TAtomArray& atoms, std::string& error,
                                 const TConversionLimits& limits = {});
#endif

}  // namespace pelorin
