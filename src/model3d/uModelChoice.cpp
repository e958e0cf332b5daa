// The choice of the 3D model.
#include "model3d/uModelChoice.h"

#include <algorithm>

#include "model3d/uSurfaceBudget.h"

namespace pelorin {

TModelKind ChooseModelKind(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                           bool surfaceWithinBudget) {
  if (setting == TModel3D::Surface) return TModelKind::Surface;
  if (setting == TModel3D::Atoms) return TModelKind::Atoms;
  const bool small = !survey || survey->AtomCount <= maxSurfaceAtoms;
  return small && surfaceWithinBudget ? TModelKind::Surface : TModelKind::Atoms;
}

TModelPlan PlanModel(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                     uint64_t budgetBytes) {
  TModelPlan plan;
  if (setting != TModel3D::Atoms && survey) {
    const int64_t facets = EstimatedSurfaceFacets(survey->AtomCount);
    if (SurfaceFacetsOverBudget(facets, budgetBytes))
      plan.BudgetMessage = SurfaceOverBudgetMessage(survey->AtomCount, facets, budgetBytes);
  }
  const bool withinBudget = plan.BudgetMessage.empty();
  if (ChooseModelKind(setting, maxSurfaceAtoms, survey, withinBudget) == TModelKind::Atoms)
    plan.Kind = TModelPlan::TKind::kAtoms;
  else
    plan.Kind = withinBudget ? TModelPlan::TKind::kSurface : TModelPlan::TKind::kRefused;
  plan.SurfaceFileTooLarge =
      setting == TModel3D::Auto ? TModelPlan::TOverBudget::kDrawAtoms : TModelPlan::TOverBudget::kRefuse;
  return plan;
}

bool ReadsOwnAtomsAhead(TModel3D setting, TMolFormat format, std::optional<uint64_t> fileBytes, uint64_t budgetBytes) {
  if (setting == TModel3D::Surface || !IsAtomTable(format)) return false;
  constexpr uint64_t kShortestAtomLine = 8;  // "C 0 0 0" and its line break
  const uint64_t mostAtoms = fileBytes.value_or(UINT64_MAX) / kShortestAtomLine;
  return !AtomModelOverBudget(static_cast<int64_t>(std::min<uint64_t>(mostAtoms, INT64_MAX)), TAtomDrawing::Impostors,
                              budgetBytes);
}

}  // namespace pelorin
