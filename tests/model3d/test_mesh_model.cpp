// Tests of the mesh model: facets prepared for drawing (normals, colours, packing), bounds,
// loading an STL file into a model, and the memory budget of the converter's surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "formats/stl_test_util.h"
#include "model3d/uAtomModel.h"
#include "model3d/uMeshModel.h"
#include "model3d/uSurfaceBudget.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::AsciiFacet;
using pelorin_test::BinarySTL;
using pelorin_test::MakeFacet;
using pelorin_test::NumberedFacet;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

void ExpectVec(const TVec3& v, float x, float y, float z, float tolerance = 0) {
  EXPECT_NEAR(v.X, x, tolerance);
  EXPECT_NEAR(v.Y, y, tolerance);
  EXPECT_NEAR(v.Z, z, tolerance);
}

TEST(STLModel, VectorHelpers) {
  ExpectVec(VecCross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  ExpectVec(VecCross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
  ExpectVec(VecNormalize({3, 0, 4}), 0.6f, 0, 0.8f, 1e-6f);
  ExpectVec(VecNormalize({1e-10f, 0, 0}), 0, 1, 0);
  EXPECT_FLOAT_EQ(VecLength({2, 3, 6}), 7);
}

TEST(STLModel, NormalRepairAndFacetColours) {
  const struct {
    const char* name;
    TFacet facet;
    TVec3 normal;
    TMeshColor color;
  } cases[] = {
      {"zero normal, counter-clockwise in the xy plane: front, violet",
       MakeFacet({0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}),
       {0, 0, 1},
       {0.55f, 0.40f, 0.72f}},
      {"degenerate facet: up, pale cyan",
       MakeFacet({0, 0, 0}, {2, 2, 2}, {2, 2, 2}, {2, 2, 2}),
       {0, 1, 0},
       {0.70f, 0.90f, 0.90f}},
      {"tiny normal is recomputed: clockwise gives the back",
       MakeFacet({0.005f, 0, 0}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}),
       {0, 0, -1},
       {0.55f, 0.40f, 0.72f}},
      {"written normal kept as it stands, x side: blue",
       MakeFacet({-3, 0, 1}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}),
       {-3, 0, 1},
       {0.35f, 0.55f, 0.82f}},
      {"sloping down, neither side nor front: slate",
       MakeFacet({0.3f, -0.9f, 0.3f}, {}, {}, {}),
       {0.3f, -0.9f, 0.3f},
       {0.28f, 0.42f, 0.48f}},
      {"partly up",
       MakeFacet({0, 0.6f, 0.8f}, {}, {}, {}),
       {0, 0.6f, 0.8f},
       {float(0.42 + 0.28 * double(0.6f)), float(0.72 + 0.18 * double(0.6f)), float(0.76 + 0.14 * double(0.6f))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMeshModel model;
    TFacetArray facets = {c.facet};
    RepairFacetNormals(facets);
    ExpectVec(facets[0].Normal, c.normal.X, c.normal.Y, c.normal.Z, 1e-6f);
    model.BuffersUploaded = true;
    PrepareMeshBuffers(model, facets);
    EXPECT_FALSE(model.BuffersUploaded);
    ASSERT_EQ(model.FacetCount, 1);
    ASSERT_EQ(model.MeshVertexCount, 3);
    ASSERT_EQ(model.MeshColors.size(), 9u);
    TPackedVertex packed[3];
    PackMeshVertices(model, 0, 3, packed);
    for (int v = 0; v < 3; ++v) {  // flat shading: every corner carries the facet's values
      EXPECT_FLOAT_EQ(model.MeshColors[3 * v], c.color.R);
      EXPECT_FLOAT_EQ(model.MeshColors[3 * v + 1], c.color.G);
      EXPECT_FLOAT_EQ(model.MeshColors[3 * v + 2], c.color.B);
      EXPECT_FLOAT_EQ(model.MeshNormals[3 * v + 1], facets[0].Normal.Y);
      EXPECT_FLOAT_EQ(model.MeshVertices[3 * v], c.facet.Vertices[v].X);
      EXPECT_FLOAT_EQ(model.MeshVertices[3 * v + 2], c.facet.Vertices[v].Z);
      // What the buffer object holds: the same corner, the colour to the byte and the normal as
      // written to 1/32767, each component clamped to -1..1.
      EXPECT_EQ(packed[v].X, c.facet.Vertices[v].X);
      EXPECT_EQ(packed[v].Z, c.facet.Vertices[v].Z);
      EXPECT_NEAR(packed[v].R, c.color.R * 255, 0.5);
      EXPECT_NEAR(packed[v].B, c.color.B * 255, 0.5);
      EXPECT_EQ(packed[v].A, 255);
      EXPECT_NEAR(packed[v].NY / 32767.0, std::clamp(facets[0].Normal.Y, -1.0f, 1.0f), 1e-4);
    }
  }
}

TEST(STLModel, Bounds) {
  TMeshModel model;
  TVec3 center;
  float radius = 0;
  GetModelBounds(model, center, radius);  // empty: defaults, still invalid
  ExpectVec(center, 0, 0, 0);
  EXPECT_EQ(radius, 1);
  EXPECT_FALSE(model.BoundsValid);

  PrepareMeshBuffers(model, TFacetArray{MakeFacet({}, {-1, 2, 10}, {3, 2, 10}, {0, 4, 11}),
                                        MakeFacet({}, {0, 0, 9}, {1, 1, 9}, {1, 1, 9})});
  GetModelBounds(model, center, radius);
  EXPECT_TRUE(model.BoundsValid);
  ExpectVec(center, 1, 2, 10);
  EXPECT_FLOAT_EQ(radius, 2);  // x spans 4, y 4, z 2

  PrepareMeshBuffers(model, TFacetArray{MakeFacet({}, {5, 5, 5}, {5, 5, 5}, {5, 5, 5})});
  ComputeModelBounds(model);
  ExpectVec(model.ModelCenter, 5, 5, 5);
  EXPECT_EQ(model.ModelRadius, 1);  // a point has no size of its own

  // Released arrays (the renderer holds the mesh) keep the counts and the bounds.
  ReleaseMeshArrays(model);
  EXPECT_FALSE(MeshArraysHeld(model));
  EXPECT_TRUE(model.MeshVertices.empty() && model.MeshNormals.empty() && model.MeshColors.empty());
  EXPECT_EQ(model.MeshVertexCount, 3);
  GetModelBounds(model, center, radius);
  ExpectVec(center, 5, 5, 5);
}

TEST(STLModel, LoadFillsTheModelAndFailureEmptiesIt) {
  TTempDir dir;
  std::string good = dir.File("good.stl");
  WriteFileBytes(good, BinarySTL({MakeFacet({}, {0, 0, 0}, {2, 0, 0}, {0, 2, 0})}, "solid"));
  std::string ascii = dir.File("ascii.stl");
  WriteFileBytes(ascii, "solid a\n" + AsciiFacet(NumberedFacet(3)) + AsciiFacet(NumberedFacet(4)) + "endsolid a\n");
  std::string bad = dir.File("bad.stl");
  WriteFileBytes(bad, "solid nothing here\nendsolid\n");

  TMeshModel model;
  std::string openError;
  ASSERT_TRUE(LoadMeshModel(model, good, openError));
  EXPECT_EQ(model.FacetCount, 1);
  ExpectVec({model.MeshNormals[0], model.MeshNormals[1], model.MeshNormals[2]}, 0, 0, 1);
  EXPECT_TRUE(model.BoundsValid);
  EXPECT_TRUE(MeshArraysHeld(model));
  EXPECT_FLOAT_EQ(model.ModelRadius, 1);
  EXPECT_EQ(model.MeshVertices.size(), 9u);

  model.ShadowVertices.assign(9, 1.0f);  // as drawn once
  ASSERT_TRUE(LoadMeshModel(model, ascii, openError));
  EXPECT_EQ(model.FacetCount, 2);
  EXPECT_EQ(model.MeshVertexCount, 6);
  EXPECT_TRUE(model.ShadowVertices.empty()) << "the first model's shadow would be drawn under the second";

  EXPECT_FALSE(LoadMeshModel(model, bad, openError));
  EXPECT_EQ(openError, "");
  EXPECT_EQ(model.FacetCount, 0);
  EXPECT_EQ(model.MeshVertexCount, 0);
  EXPECT_TRUE(model.MeshVertices.empty() && model.MeshNormals.empty() && model.MeshColors.empty());
  EXPECT_FALSE(model.BoundsValid);

  EXPECT_FALSE(LoadMeshModel(model, dir.File("missing.stl"), openError));
  EXPECT_FALSE(openError.empty());
}

TEST(SurfaceBudget, DecisionFromAtomsAndFacetsAndItsMessage) {
  const uint64_t GB = 1000000000;
  EXPECT_EQ(SurfaceBudgetBytes(8 * GB), 4 * GB);
  EXPECT_EQ(EstimatedSurfaceFacets(24), 497616);
  EXPECT_EQ(EstimatedSurfaceFacets(0), 0);
  EXPECT_EQ(EstimatedSurfaceFacets(-3), 0);
  EXPECT_GT(EstimatedSurfaceFacets(INT64_MAX), 0) << "a survey's count never overflows the estimate";
  EXPECT_TRUE(SurfaceFacetsOverBudget(EstimatedSurfaceFacets(INT64_MAX), UINT64_MAX)) << "more than the reader takes";
  EXPECT_EQ(SurfaceAtomsOfFacets(497616), 24);
  EXPECT_EQ(SurfaceAtomsOfFacets(497617), 25);
  EXPECT_EQ(SurfaceAtomsOfFacets(0), 0);

  // The boundary: exactly what the budget holds fits, one facet more does not.
  const int64_t fits = 1000;
  EXPECT_FALSE(SurfaceFacetsOverBudget(fits, fits * kSurfaceBytesPerFacet));
  EXPECT_TRUE(SurfaceFacetsOverBudget(fits + 1, fits * kSurfaceBytesPerFacet));
  EXPECT_FALSE(SurfaceFacetsOverBudget(0, 0));
  // Caffeine fits into the half of 1 GB of free memory; a protein of 1,788 atoms not into 8 GB.
  EXPECT_FALSE(SurfaceFacetsOverBudget(EstimatedSurfaceFacets(24), SurfaceBudgetBytes(1 * GB)));
  EXPECT_TRUE(SurfaceFacetsOverBudget(EstimatedSurfaceFacets(1788), SurfaceBudgetBytes(8 * GB)));

  const std::string message = SurfaceOverBudgetMessage(1788, EstimatedSurfaceFacets(1788), 4 * GB);
  EXPECT_NE(message.find("1788 atoms"), std::string::npos) << message;
  EXPECT_NE(message.find("37.1 million facets"), std::string::npos) << message;
  EXPECT_NE(message.find("budget (half the free memory) is 4.0 GB"), std::string::npos) << message;
}

// An atom model counts against the same budget: as spheres its atoms and the driver's copy,
// as meshes mostly their facets.
TEST(SurfaceBudget, AtomModelsCountTheirAtomsAndTheDriversCopy) {
  const uint64_t spheres = AtomModelBytesPerAtom(1000000, TAtomDrawing::Impostors);
  EXPECT_GE(spheres, 3 * sizeof(TAtomSphere));
  EXPECT_LE(spheres, 100u) << "within the goal of 100 bytes an atom";
  // Twenty facets a sphere above 50,000 atoms, 1280 for a few: far more than the spheres.
  EXPECT_GT(AtomModelBytesPerAtom(1000000, TAtomDrawing::Meshes), 20 * 108u);
  EXPECT_GT(AtomModelBytesPerAtom(24, TAtomDrawing::Meshes), 1280 * 108u);

  EXPECT_FALSE(AtomModelOverBudget(1000, TAtomDrawing::Impostors, 1000 * spheres));
  EXPECT_TRUE(AtomModelOverBudget(1001, TAtomDrawing::Impostors, 1000 * spheres));
  EXPECT_TRUE(AtomModelOverBudget(1000, TAtomDrawing::Meshes, 1000 * spheres));
  EXPECT_FALSE(AtomModelOverBudget(0, TAtomDrawing::Meshes, 0));
  EXPECT_TRUE(AtomModelOverBudget(INT64_MAX, TAtomDrawing::Impostors, UINT64_MAX)) << "no overflow";
  EXPECT_EQ(AtomModelOverBudgetMessage(5000000, 300000000, 200000000),
            "The 3D model of 5000000 atoms is too large for the free memory: 5000000 atoms need 300.0 MB, the budget "
            "(half the free memory) is 200.0 MB.");
}

#ifndef _WIN32
// The real converter's STL: binary, zero normals, one sphere per atom.
TEST(STLModel, CaffeineFromTheConverter) {
  TTempDir dir;
  std::string path = dir.File("caffeine.stl");
  std::string command = "/usr/bin/obabel -:\"Cn1cnc2c1c(=O)n(C)c(=O)n2C\" -O \"" + path + "\" --gen3d >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string bytes = pelorin_test::ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 84u);

  // Count and extent straight from the file bytes.
  uint32_t headerCount;
  std::memcpy(&headerCount, bytes.data() + 80, 4);
  ASSERT_GT(headerCount, 100000u);
  ASSERT_EQ(bytes.size(), 84 + 50 * uint64_t(headerCount));
  // 24 atoms with the hydrogens --gen3d adds, each the converter's sphere; the budget relies on both.
  EXPECT_EQ(int64_t(headerCount), 24 * kSurfaceFacetsPerAtom);
  EXPECT_EQ(CountSTLFacets(path), int64_t(headerCount));
  float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
  for (uint32_t k = 0; k < headerCount; ++k) {
    for (int corner = 0; corner < 3; ++corner) {
      float xyz[3];
      std::memcpy(xyz, bytes.data() + 84 + 50 * size_t(k) + 12 + 12 * corner, 12);
      for (int axis = 0; axis < 3; ++axis)
        lo[axis] = std::min(lo[axis], xyz[axis]), hi[axis] = std::max(hi[axis], xyz[axis]);
    }
  }
  float largestEdge = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});

  TMeshModel model;
  std::string openError;
  ASSERT_TRUE(LoadMeshModel(model, path, openError));
  ASSERT_EQ(model.FacetCount, static_cast<int32_t>(headerCount));
  EXPECT_EQ(model.MeshVertexCount, 3 * model.FacetCount);
  EXPECT_EQ(model.MeshNormals.size(), 9 * size_t(headerCount));
  size_t notUnit = 0;
  for (size_t i = 0; i < model.MeshNormals.size(); i += 3) {
    const TVec3 n{model.MeshNormals[i], model.MeshNormals[i + 1], model.MeshNormals[i + 2]};
    notUnit += std::fabs(VecLength(n) - 1) > 1e-4f;
  }
  EXPECT_EQ(notUnit, 0u);
  EXPECT_FLOAT_EQ(model.ModelRadius, largestEdge / 2);
  ExpectVec(model.ModelCenter, (lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2, 1e-5f);
}
#endif

TEST(STLModel, CoordinatesNearTheFloatRangeKeepAFiniteRadius) {
  TMeshModel model;
  TFacetArray facets(1);
  facets[0].Vertices[0] = {-3e38f, -3e38f, 0};
  facets[0].Vertices[1] = {3e38f, 3e38f, 0};
  facets[0].Vertices[2] = {0, 0, 1};
  PrepareMeshBuffers(model, facets);
  ComputeModelBounds(model);
  EXPECT_TRUE(std::isfinite(model.ModelRadius));
  EXPECT_FLOAT_EQ(model.ModelRadius, 3e38f);
  EXPECT_FLOAT_EQ(model.ModelCenter.X, 0);
}

}  // namespace
}  // namespace pelorin
