// The choice between the atom model and the converter's surface, and the atoms of a molecule
// file for the atom model: read straight from a PDB or XYZ file, which already is a table of
// element and position, or from the converter's XYZ output otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formats/uAtomTable.h"
#include "formats/uMolFormat.h"
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

// What a 3D load makes of a record, decided before anything is converted.
struct TModelPlan {
  enum class TKind : uint8_t {
    kSurface,  // the converter's surface
    kAtoms,    // the atom model
    kRefused,  // nothing: the surface was asked for and cannot be held (`BudgetMessage` says why)
  };
  TKind Kind = TKind::kSurface;
  // The surface's STL, once written, may still prove too large to hold (the survey cannot count
  // the hydrogens --gen3d adds): Auto then draws the atoms, Surface refuses.
  enum class TOverBudget : uint8_t { kRefuse, kDrawAtoms };
  TOverBudget SurfaceFileTooLarge = TOverBudget::kRefuse;
  // Non-empty when the surface of the surveyed atoms is over `budgetBytes` (and not converted).
  std::string BudgetMessage;
};
// The plan for a record of `survey` (none: the survey could not read it, which counts as small)
// under the settings and a memory budget of `budgetBytes`: ChooseModelKind, with the surface's
// budget judged from the atom count (never for the setting Atoms, which converts no surface).
TModelPlan PlanModel(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                     uint64_t budgetBytes);

// Whether a 3D load reads a PDB or XYZ file's own atoms before surveying it: read first, they
// tell how many there are as a survey would, in one pass instead of two, and the atom model takes
// them as read. Not for the setting Surface, not for other formats, and not when a file of
// `fileBytes` (none: unknown) leaves room for more atoms than `budgetBytes` holds even as spheres
// (the least an atom model holds): the survey's count decides first then.
bool ReadsOwnAtomsAhead(TModel3D setting, TMolFormat format, std::optional<uint64_t> fileBytes, uint64_t budgetBytes);

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
