// The choice of the 3D model.
#include "model3d/uModelChoice.h"

namespace pelorin {

TModelKind ChooseModelKind(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                           bool surfaceWithinBudget) {
  if (setting == TModel3D::Surface) return TModelKind::Surface;
  if (setting == TModel3D::Atoms) return TModelKind::Atoms;
  const bool small = !survey || survey->AtomCount <= maxSurfaceAtoms;
  return small && surfaceWithinBudget ? TModelKind::Surface : TModelKind::Atoms;
}

}  // namespace pelorin
