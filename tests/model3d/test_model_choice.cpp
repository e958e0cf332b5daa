// Tests of the 3D load's plan: surface, atoms or a refusal, from the setting, the survey and the
// memory budget; and when a PDB's or XYZ's own atoms are read before the survey.
#include <gtest/gtest.h>

#include <optional>

#include "model3d/uModelChoice.h"
#include "model3d/uSurfaceBudget.h"

namespace pelorin {
namespace {

using TKind = TModelPlan::TKind;

std::optional<TRecordSurvey> Atoms(int64_t count) {
  TRecordSurvey survey;
  survey.AtomCount = count;
  return survey;
}

// The budget that holds a surface of exactly `atoms` atoms.
uint64_t BudgetForSurfaceOf(int64_t atoms) {
  return static_cast<uint64_t>(EstimatedSurfaceFacets(atoms)) * kSurfaceBytesPerFacet;
}

}  // namespace

TEST(ModelChoice, SettingSurveyAndBudget) {
  const std::optional<TRecordSurvey> small = Atoms(40), large = Atoms(41), none;
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, small, true), TModelKind::Surface);
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, large, true), TModelKind::Atoms);
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, none, true), TModelKind::Surface);  // the survey cannot tell
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 40, small, false), TModelKind::Atoms);  // atoms, not a refusal
  EXPECT_EQ(ChooseModelKind(TModel3D::Auto, 0, small, true), TModelKind::Atoms);
  EXPECT_EQ(ChooseModelKind(TModel3D::Surface, 40, large, false), TModelKind::Surface);
  EXPECT_EQ(ChooseModelKind(TModel3D::Atoms, 40, small, true), TModelKind::Atoms);
}

TEST(ModelChoice, PlanJudgesTheSurfaceAgainstTheBudgetBeforeAnyConversion) {
  const uint64_t holds30 = BudgetForSurfaceOf(30);
  // Within the budget: as the setting and the survey say.
  TModelPlan plan = PlanModel(TModel3D::Auto, 80, Atoms(30), holds30);
  EXPECT_EQ(plan.Kind, TKind::kSurface);
  EXPECT_TRUE(plan.BudgetMessage.empty());
  EXPECT_EQ(plan.SurfaceFileTooLarge, TModelPlan::TOverBudget::kDrawAtoms)
      << "Auto draws the atoms when the STL proves too large";
  EXPECT_EQ(PlanModel(TModel3D::Auto, 80, Atoms(81), UINT64_MAX).Kind, TKind::kAtoms);

  // Over it: Auto draws the atoms and says why the surface was left out; Surface refuses.
  plan = PlanModel(TModel3D::Auto, 80, Atoms(31), holds30);
  EXPECT_EQ(plan.Kind, TKind::kAtoms);
  EXPECT_NE(plan.BudgetMessage.find("The 3D surface of 31 atoms is too large"), std::string::npos)
      << plan.BudgetMessage;
  plan = PlanModel(TModel3D::Surface, 80, Atoms(31), holds30);
  EXPECT_EQ(plan.Kind, TKind::kRefused);
  EXPECT_EQ(plan.SurfaceFileTooLarge, TModelPlan::TOverBudget::kRefuse)
      << "a surface asked for is refused, never swapped for atoms";
  EXPECT_EQ(plan.BudgetMessage, SurfaceOverBudgetMessage(31, EstimatedSurfaceFacets(31), holds30));

  // Atoms converts no surface, and a record the survey could not read is judged after the
  // conversion, by the STL's own size.
  plan = PlanModel(TModel3D::Atoms, 80, Atoms(31), holds30);
  EXPECT_EQ(plan.Kind, TKind::kAtoms);
  EXPECT_TRUE(plan.BudgetMessage.empty());
  EXPECT_EQ(PlanModel(TModel3D::Auto, 80, std::nullopt, 0).Kind, TKind::kSurface);
}

TEST(ModelChoice, OwnAtomsAreReadAheadOnlyWhenTheFileCannotOverflowTheBudget) {
  EXPECT_TRUE(ReadsOwnAtomsAhead(TModel3D::Auto, TMolFormat::Pdb, 1 << 20, UINT64_MAX));
  EXPECT_TRUE(ReadsOwnAtomsAhead(TModel3D::Atoms, TMolFormat::Xyz, 1 << 20, UINT64_MAX));
  EXPECT_FALSE(ReadsOwnAtomsAhead(TModel3D::Surface, TMolFormat::Pdb, 1 << 20, UINT64_MAX));
  EXPECT_FALSE(ReadsOwnAtomsAhead(TModel3D::Auto, TMolFormat::Sdf, 1 << 20, UINT64_MAX)) << "not an atom table";
  // A file of 8 MB may hold a million atoms: more than a small budget holds, so its count comes first.
  const uint64_t bytes = uint64_t{8} << 20;
  const int64_t mostAtoms = static_cast<int64_t>(bytes / 8);
  const uint64_t holds = AtomModelBytesPerAtom(mostAtoms, TAtomDrawing::Impostors) * static_cast<uint64_t>(mostAtoms);
  EXPECT_TRUE(ReadsOwnAtomsAhead(TModel3D::Auto, TMolFormat::Xyz, bytes, holds));
  EXPECT_FALSE(ReadsOwnAtomsAhead(TModel3D::Auto, TMolFormat::Xyz, bytes, holds / 2));
  EXPECT_FALSE(ReadsOwnAtomsAhead(TModel3D::Auto, TMolFormat::Xyz, std::nullopt, holds)) << "a size unknown";
}

}  // namespace pelorin
