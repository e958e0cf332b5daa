// Tests of the atom model built from atom lists and the atom discs of thumbnails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "formats/atom_test_util.h"
#include "formats/uElements.h"
#include "model3d/uAtomDiscs.h"
#include "model3d/uAtomModel.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::MakeAtom;
using pelorin_test::SameAtoms;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

// ---- Atom model ----

// Atoms on a cubic lattice 4 Angstrom apart, cycling through a few elements.
TAtomArray Lattice(int count) {
  const char* elements[] = {"C", "N", "O", "H", "S", "Cl", "Fe", "Qq"};
  TAtomArray atoms;
  for (int i = 0; i < count; ++i)
    atoms.push_back(MakeAtom(elements[i % 8], 4.0f * (i % 30), 4.0f * (i / 30 % 30), 4.0f * (i / 900) - 50));
  return atoms;
}

TEST(AtomModel, LevelOfDetailKeepsTheFacetBudget) {
  const std::pair<int64_t, int32_t> cases[] = {{1, 1280},   {24, 1280},  {781, 1280},   {782, 320},
                                               {3125, 320}, {3126, 80},  {12500, 80},   {12501, 20},
                                               {20000, 20}, {50000, 20}, {10000000, 20}};
  for (auto [atoms, facets] : cases) {
    SCOPED_TRACE(atoms);
    EXPECT_EQ(kSphereFacets[SphereLevelForAtomCount(atoms)], facets);
  }
  for (int level = 0; level < kSphereLevels; ++level) {
    SCOPED_TRACE(level);
    const TFloatArray& corners = UnitSphereCorners(level);
    ASSERT_EQ(corners.size(), size_t(kSphereFacets[level]) * 9);
    for (size_t i = 0; i < corners.size(); i += 9) {
      TVec3 a{corners[i], corners[i + 1], corners[i + 2]}, b{corners[i + 3], corners[i + 4], corners[i + 5]},
          c{corners[i + 6], corners[i + 7], corners[i + 8]};
      EXPECT_NEAR(VecLength(a), 1.0f, 1e-6f);
      // Counter-clockwise from outside, or the renderer culls the sphere's front.
      TVec3 n = VecCross(VecSub(b, a), VecSub(c, a));
      ASSERT_GT(n.X * (a.X + b.X + c.X) + n.Y * (a.Y + b.Y + c.Y) + n.Z * (a.Z + b.Z + c.Z), 0) << i / 9;
    }
    // Shared corners: a closed sphere of F facets has F / 2 + 2 of them, each the very corner
    // that every facet corner mapped to it is.
    const TSharedSphereCorners& shared = SharedSphereCorners(level);
    ASSERT_EQ(shared.FirstOccurrence.size(), size_t(kSphereFacets[level] / 2 + 2));
    ASSERT_EQ(shared.DistinctIndex.size(), corners.size() / 3);
    for (size_t corner = 0; corner < shared.DistinctIndex.size(); ++corner) {
      const size_t first = shared.FirstOccurrence.at(shared.DistinctIndex[corner]);
      ASSERT_TRUE(std::equal(&corners[3 * first], &corners[3 * first + 3], &corners[3 * corner])) << corner;
    }
  }
}

TEST(AtomModel, SpheresColoursAndBoundsOfABuiltModel) {
  TAtomArray atoms = Lattice(24);
  atoms.push_back(MakeAtom("Au", std::numeric_limits<float>::quiet_NaN(), 2, 3));  // NaN taken as 0
  TMeshModel model;
  std::string error;
  ASSERT_TRUE(BuildAtomModel(atoms, TAtomDrawing::Meshes, model, error)) << error;
  const int32_t perSphere = 1280;
  ASSERT_EQ(model.FacetCount, 25 * perSphere);
  ASSERT_EQ(model.MeshVertexCount, 3 * model.FacetCount);
  ASSERT_EQ(model.MeshVertices.size(), size_t(model.MeshVertexCount) * 3);
  ASSERT_EQ(model.MeshNormals.size(), model.MeshVertices.size());
  ASSERT_EQ(model.MeshColors.size(), model.MeshVertices.size());
  ASSERT_EQ(model.Atoms.size(), atoms.size());
  EXPECT_EQ(model.Kind, TModelKind::Atoms);
  ASSERT_TRUE(model.BoundsValid);
  EXPECT_TRUE(std::isfinite(model.ModelRadius));

  const TVec3 c = model.ModelCenter;
  float largest = 0;
  for (size_t a = 0; a < atoms.size(); ++a) {
    SCOPED_TRACE(atoms[a].Element);
    const TElementStyle style = ElementStyle(atoms[a].Element);
    const TAtomSphere& sphere = model.Atoms[a];
    const float radius = SphereRadius(sphere);
    largest = std::max(largest, radius);
    EXPECT_NEAR(radius, style.Radius, kSphereRadiusStep / 2) << "the table's radius in steps of 1/64";
    EXPECT_EQ(sphere.R / 255.0f, style.Color.R) << "the table's colours are bytes";
    TVec3 centre{std::isfinite(atoms[a].X) ? atoms[a].X : 0, atoms[a].Y, atoms[a].Z};
    EXPECT_EQ(sphere.X, centre.X);
    // The bounds hold the whole sphere, along each axis as the half extents say.
    float slack = model.ModelRadius * 1e-6f;
    EXPECT_LE(std::fabs(centre.X - c.X) + radius, model.HalfExtent.X + slack);
    EXPECT_LE(std::fabs(centre.Y - c.Y) + radius, model.HalfExtent.Y + slack);
    EXPECT_LE(std::fabs(centre.Z - c.Z) + radius, model.HalfExtent.Z + slack);
    for (size_t v = a * perSphere * 3; v < (a + 1) * perSphere * 3; ++v) {
      const float* p = &model.MeshVertices[3 * v];
      const float* n = &model.MeshNormals[3 * v];
      const float* rgb = &model.MeshColors[3 * v];
      TVec3 offset = VecSub({p[0], p[1], p[2]}, centre);
      ASSERT_NEAR(VecLength(offset), radius, 1e-4f);
      ASSERT_NEAR(offset.X / radius, n[0], 1e-4f);
      ASSERT_NEAR(offset.Y / radius, n[1], 1e-4f);
      ASSERT_NEAR(offset.Z / radius, n[2], 1e-4f);
      ASSERT_EQ(rgb[0], style.Color.R);
      ASSERT_EQ(rgb[2], style.Color.B);
    }
  }
  EXPECT_FLOAT_EQ(model.LargestAtomRadius, largest);
  EXPECT_FLOAT_EQ(model.ModelRadius, std::max({model.HalfExtent.X, model.HalfExtent.Y, model.HalfExtent.Z}));
  // Coordinates at the edge of the float range still give finite bounds.
  ASSERT_TRUE(BuildAtomModel({MakeAtom("C", 3e38f, -3e38f, 0)}, TAtomDrawing::Meshes, model, error));
  EXPECT_TRUE(std::isfinite(model.ModelRadius) && std::isfinite(model.ModelCenter.X));
}

// Drawn as spheres, a model is its atoms alone (16 bytes each): no mesh, and no atom limit.
// The mesh is made from those atoms when the window draws meshes after all.
TEST(AtomModel, SpheresNeedNoMeshAndHaveNoAtomLimit) {
  TMeshModel model;
  std::string error;
  ASSERT_TRUE(BuildAtomModel(Lattice(60000), TAtomDrawing::Impostors, model, error)) << error;
  EXPECT_EQ(model.Atoms.size(), 60000u);
  EXPECT_EQ(model.FacetCount, 0);
  EXPECT_EQ(model.MeshVertexCount, 0);
  EXPECT_TRUE(model.MeshVertices.empty());
  EXPECT_TRUE(model.BoundsValid);

  ASSERT_TRUE(BuildAtomModel(Lattice(3), TAtomDrawing::Impostors, model, error));
  ASSERT_TRUE(BuildAtomSphereMesh(model, error)) << error;
  EXPECT_EQ(model.FacetCount, 3 * 1280);
  EXPECT_EQ(model.SphereLevel, 3);
  TMeshModel meshes;
  ASSERT_TRUE(BuildAtomModel(Lattice(3), TAtomDrawing::Meshes, meshes, error));
  EXPECT_TRUE(meshes.MeshVertices == model.MeshVertices) << "the same spheres either way";

  EXPECT_FALSE(BuildAtomModel({}, TAtomDrawing::Impostors, model, error));
  EXPECT_EQ(error, "No atoms to draw");
  EXPECT_TRUE(model.Atoms.empty());
  EXPECT_FALSE(model.BoundsValid);
  EXPECT_FALSE(BuildAtomSphereMesh(model, error)) << "no atoms, no mesh";
}

TEST(AtomModel, ReuseOfAModelAndItsDepthCue) {
  TMeshModel model;
  std::string error;
  ASSERT_TRUE(BuildAtomModel(Lattice(20000), TAtomDrawing::Meshes, model, error)) << error;
  EXPECT_EQ(model.FacetCount, 20000 * 20);
  // A smaller model in the same arrays: no leftovers of the large one.
  ASSERT_TRUE(BuildAtomModel(Lattice(2), TAtomDrawing::Meshes, model, error));
  EXPECT_EQ(model.FacetCount, 2 * 1280);
  EXPECT_EQ(model.MeshVertices.size(), size_t(2 * 1280 * 9));
  EXPECT_EQ(model.Atoms.size(), 2u);

  // Loading a surface into a model that held atoms makes it a surface model again.
  TTempDir dir;
  std::string stl = dir.File("one.stl");
  WriteFileBytes(stl,
                 "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
                 "0\nendloop\nendfacet\nendsolid t\n");
  ASSERT_TRUE(BuildAtomModel(Lattice(1), TAtomDrawing::Impostors, model, error));
  model.DepthCue = true;
  std::string openError;
  ASSERT_TRUE(LoadMeshModel(model, stl, openError));
  EXPECT_EQ(model.Kind, TModelKind::Surface);
  EXPECT_TRUE(model.Atoms.empty());
  EXPECT_FALSE(model.DepthCue);

  EXPECT_FALSE(WantsDepthCue(true, kDepthCueMinAtoms));
  EXPECT_TRUE(WantsDepthCue(true, kDepthCueMinAtoms + 1));
  EXPECT_FALSE(WantsDepthCue(false, 1000000)) << "the setting turns it off";
}

TEST(AtomDiscs, SortedBackToFrontShadedByDepthAndTurnedAsTheView) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const TAtomArray atoms = {MakeAtom("O", 1, 2, 5), MakeAtom("C", 0, 0, -5), MakeAtom("Xx", nan, 0, 0)};
  TSVGScene scene;
  BuildAtomDiscScene(atoms, 0, 0, scene);
  ASSERT_EQ(scene.Count, 3);
  const TGeoElement &far = scene.Elements[0], &middle = scene.Elements[1], &near = scene.Elements[2];
  EXPECT_EQ(far.Kind, gkCircle);
  EXPECT_FLOAT_EQ(far.RX, ElementStyle("C").Radius);
  EXPECT_FLOAT_EQ(near.CX, 1);
  EXPECT_FLOAT_EQ(near.CY, -2) << "the scene's y points down";
  EXPECT_FLOAT_EQ(middle.CX, 0) << "not finite is 0";
  EXPECT_FLOAT_EQ(near.Fill.R, ElementStyle("O").Color.R) << "the nearest keeps its colour";
  EXPECT_FLOAT_EQ(far.Fill.G, ElementStyle("C").Color.G * kFarthestDiscShade);
  EXPECT_FLOAT_EQ(middle.Fill.B, ElementStyle("Xx").Color.B * (1 + kFarthestDiscShade) / 2);
  EXPECT_LT(near.Stroke.R, near.Fill.R);
  EXPECT_FLOAT_EQ(near.Fill.A, 1);

  // Turned a quarter about y, +x goes away from the viewer; about x, +z goes down the screen.
  BuildAtomDiscScene({MakeAtom("N", 1, 0, 0), MakeAtom("S", -1, 0, 0)}, 0, 90, scene);
  EXPECT_FLOAT_EQ(scene.Elements[0].RX, ElementStyle("N").Radius);
  BuildAtomDiscScene({MakeAtom("N", 0, 0, 1)}, 90, 0, scene);
  EXPECT_NEAR(scene.Elements[0].CY, 1, 1e-6);
  BuildAtomDiscScene({}, 0, 0, scene);
  EXPECT_EQ(scene.Count, 0);
}

TEST(AtomDiscs, LargeModelsKeepAnEvenSubsample) {
  TAtomArray atoms = Lattice(10);
  EXPECT_EQ(KeepEvenSubsample(atoms, 10), 1u);
  EXPECT_EQ(atoms.size(), 10u);
  EXPECT_EQ(KeepEvenSubsample(atoms, 4), 3u);
  ASSERT_EQ(atoms.size(), 4u) << "one of atoms 0-2, 3-5, 6-8 and 9";
  EXPECT_TRUE(SameAtoms({atoms[3]}, {Lattice(10)[9]}));
  atoms = Lattice(100001);
  EXPECT_EQ(KeepEvenSubsample(atoms, kMaxThumbnailAtoms), 6u);
  EXPECT_EQ(atoms.size(), 16667u);
  EXPECT_EQ(KeepEvenSubsample(atoms, 0), 1u) << "no bound";

  // One atom of each run, not the same place in every run: a row of 30 atoms is 5 runs, and a
  // choice in step with it would keep only 5 of the 30 columns.
  std::set<float> columns;
  for (size_t i = 0; i < atoms.size(); ++i) {
    const int index = static_cast<int>(atoms[i].Z + 50) / 4 * 900 + static_cast<int>(atoms[i].Y) / 4 * 30 +
                      static_cast<int>(atoms[i].X) / 4;
    ASSERT_EQ(static_cast<size_t>(index) / 6, i) << "atom " << index << " in run " << i;
    columns.insert(atoms[i].X);
  }
  EXPECT_EQ(columns.size(), 30u);
}

}  // namespace
}  // namespace pelorin
