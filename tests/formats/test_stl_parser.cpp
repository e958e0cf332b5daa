// Tests of the STL reader and the 3D model built from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "model3d/uMeshModel.h"
#include "model3d/uSurfaceBudget.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

void AppendLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void AppendFloat(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  AppendLE32(out, bits);
}

// A binary STL: `header` padded to 80 bytes, the count (the facets' number unless given),
// the records with attribute word 0xBEEF, then `tail`.
std::string BinarySTL(const std::vector<TFacet>& facets, const std::string& header = "", int64_t count = -1,
                      const std::string& tail = "") {
  std::string out = header;
  out.resize(80, '\0');
  AppendLE32(out, count < 0 ? static_cast<uint32_t>(facets.size()) : static_cast<uint32_t>(count));
  for (const TFacet& f : facets) {
    AppendFloat(out, f.Normal.X), AppendFloat(out, f.Normal.Y), AppendFloat(out, f.Normal.Z);
    for (const TVec3& v : f.Vertices) AppendFloat(out, v.X), AppendFloat(out, v.Y), AppendFloat(out, v.Z);
    out += "\xEF\xBE";
  }
  return out + tail;
}

TFacet MakeFacet(TVec3 n, TVec3 a, TVec3 b, TVec3 c) {
  return TFacet{n, {a, b, c}};
}

// Facet k of a numbered test mesh, distinct in every number.
TFacet NumberedFacet(int k) {
  float b = static_cast<float>(k);
  return MakeFacet({0, 0, 1}, {b, b + 0.5f, -b}, {b + 1, b, 2 * b}, {b, b + 1, 0.25f});
}

std::string AsciiFacet(const TFacet& f, const char* eol = "\n") {
  auto triple = [](const TVec3& v) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%.9g %.9g %.9g", v.X, v.Y, v.Z);
    return std::string(buffer);
  };
  std::string s = std::string("  facet normal ") + triple(f.Normal) + eol + "    outer loop" + eol;
  for (const TVec3& v : f.Vertices) s += "      vertex " + triple(v) + eol;
  return s + "    endloop" + eol + "  endfacet" + eol;
}

void ExpectVec(const TVec3& v, float x, float y, float z, float tolerance = 0) {
  EXPECT_NEAR(v.X, x, tolerance);
  EXPECT_NEAR(v.Y, y, tolerance);
  EXPECT_NEAR(v.Z, z, tolerance);
}

void ExpectSameFacet(const TFacet& got, const TFacet& want) {
  EXPECT_EQ(0, std::memcmp(&got, &want, sizeof(TFacet)));
}

// ---- Format test and binary reader ----

struct TBinaryCase {
  const char* name;
  std::string bytes;
  bool ascii;       // what IsASCIISTL answers
  int32_t facets;   // what ReadBinarySTL reads (0: fails)
  int64_t counted;  // what CountSTLFacets tells without reading them
};

TEST(STLFileFormat, DetectionAndBinaryReadOfEachShape) {
  std::vector<TFacet> two = {NumberedFacet(1), NumberedFacet(2)};
  const TBinaryCase cases[] = {
      {"binary whose header starts with solid", BinarySTL(two, "solid by a careless writer"), false, 2, 2},
      {"binary with trailing bytes", BinarySTL(two, "exporter", -1, "trailing junk"), false, 2, 2},
      {"ascii", "solid x\n" + AsciiFacet(two[0]) + "endsolid x\n", true, 0, 1},
      {"solid header, count too large", BinarySTL(two, "solid", 3), true, 0, 0},
      {"count 0 in 84 bytes", BinarySTL({}, "", 0), false, 0, 0},
      {"count larger than the file holds", BinarySTL(two, "", 0xFFFFFFFFu), false, 0, 0},
      {"count one more than the file holds", BinarySTL(two, "", 3), false, 0, 0},
      {"83 bytes", std::string(83, 's'), false, 0, 0},
      {"empty", "", false, 0, 0},
  };
  TTempDir dir;
  for (const TBinaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File("case.stl");
    WriteFileBytes(path, c.bytes);
    std::string openError = "stale";
    EXPECT_EQ(IsASCIISTL(path, openError), c.ascii);
    EXPECT_EQ(openError, "");
    TFacetArray facets = {NumberedFacet(9)};
    int32_t count = -1;
    EXPECT_EQ(ReadBinarySTL(path, facets, count, openError), c.facets > 0);
    EXPECT_EQ(count, c.facets);
    EXPECT_EQ(facets.size(), static_cast<size_t>(c.facets));
    EXPECT_EQ(openError, "");
    EXPECT_EQ(CountSTLFacets(path), c.counted);
  }
  EXPECT_EQ(CountSTLFacets(dir.File("missing.stl")), std::nullopt);
}

TEST(STLFileFormat, UnopenableFileIsReportedApartFromBadContent) {
  TTempDir dir;
  std::string missing = dir.File("missing.stl");
  std::string openError;
  EXPECT_FALSE(IsASCIISTL(missing, openError));
  EXPECT_NE(openError.find(missing), std::string::npos);
  TFacetArray facets;
  int32_t count = 7;
  openError.clear();
  EXPECT_FALSE(ReadBinarySTL(missing, facets, count, openError));
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(openError.empty());
}

TEST(STLBinaryReader, DecodesEveryNumberInOrderAndZeroesNonFinite) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<TFacet> written;
  for (int k = 0; k < 40; ++k) written.push_back(NumberedFacet(k));  // enough to overlap while compacting
  written.push_back(MakeFacet({nan, 0.5f, -inf}, {1, inf, 2}, {-inf, 3, nan}, {4, 5, 6}));
  TTempDir dir;
  std::string path = dir.File("b.stl");
  WriteFileBytes(path, BinarySTL(written));
  TFacetArray facets;
  int32_t count = 0;
  ASSERT_TRUE(ReadBinarySTL(path, facets, count));
  ASSERT_EQ(count, 41);
  ASSERT_EQ(facets.size(), 41u);
  for (int k = 0; k < 40; ++k) ExpectSameFacet(facets[k], written[k]);
  ExpectSameFacet(facets[40], MakeFacet({0, 0.5f, 0}, {1, 0, 2}, {0, 3, 0}, {4, 5, 6}));
}

// ---- ASCII reader ----

TEST(STLFloat, ReadsNumbersWhateverTheirFormAndZeroesTheRest) {
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"1.5", 1.5f}, {" -2 ", -2.0f}, {"3e-1", 0.3f}, {"-1.25E+02", -125.0f}, {"+4", 4.0f},   {".5", 0.5f},
      {"7.", 7.0f},  {"\t0\r", 0.0f}, {"", 0.0f},     {"abc", 0.0f},          {"1,5", 0.0f},  {"1.5x", 0.0f},
      {"nan", 0.0f}, {"-inf", 0.0f},  {"1e50", 0.0f}, {"+-1", 0.0f},          {"0x10", 0.0f}, {"1 2", 0.0f},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(ParseSTLFloat(c.text), c.value) << "[" << c.text << "]";
}

TEST(STLASCIIReader, ReadsManyFacetsExactlyWithAnyLineBreak) {
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(eol[0] == '\r' && eol[1] ? "CR LF" : eol[0] == '\r' ? "CR" : "LF");
    std::string text = std::string("solid big") + eol;
    std::vector<TFacet> written;
    for (int k = 0; k < 1500; ++k) {
      written.push_back(NumberedFacet(k));
      text += AsciiFacet(written.back(), eol);
    }
    text += "endsolid big";  // no final break
    TFacetArray facets;
    int32_t count = 0;
    ASSERT_TRUE(ReadASCIISTL(text, facets, count));
    ASSERT_EQ(count, 1500);
    ASSERT_EQ(facets.size(), 1500u);
    for (int k : {0, 1, 777, 1499}) ExpectSameFacet(facets[k], written[k]);
  }
}

struct TASCIICase {
  const char* name;
  const char* text;
  std::vector<TFacet> facets;
};

TEST(STLASCIIReader, IrregularFacets) {
  const TASCIICase cases[] = {
      {"commas and blanks as separators, tabs around",
       "\tfacet normal 0,0,1\n vertex 1.5, -2, 3e-1 \nvertex 1 1 1\n\tvertex 2 2 2\t\nendfacet\n",
       {MakeFacet({0, 0, 1}, {1.5f, -2, 0.3f}, {1, 1, 1}, {2, 2, 2})}},
      {"a two-number vertex line still counts as a corner",
       "facet normal 1 0 0\nvertex 1 2\nvertex 4 5 6\nvertex 7 8 9\n",
       {MakeFacet({1, 0, 0}, {0, 0, 0}, {4, 5, 6}, {7, 8, 9})}},
      {"short facet takes the next facet's corners, losing that facet",
       "facet normal 0 0 1\nvertex 1 1 1\nendloop\nfacet normal 0 1 0\nvertex 2 2 2\nvertex 3 3 3\nvertex 4 4 4\n",
       {MakeFacet({0, 0, 1}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3})}},
      {"a facet line at the end yields an empty facet",
       "facet normal 0 0 1\nvertex 1 1 1\nvertex 2 2 2\nvertex 3 3 3\nendfacet\nfacet normal 0 1 0\n",
       {MakeFacet({0, 0, 1}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}), MakeFacet({0, 1, 0}, {}, {}, {})}},
      {"short facet line, unreadable and non-finite numbers become 0",
       "facet normal 1\nvertex nan 2 x\nvertex inf -inf 1e99\nvertex 1 1 1\n",
       {MakeFacet({0, 0, 0}, {0, 2, 0}, {0, 0, 0}, {1, 1, 1})}},
      {"endfacet and solid lines are no facets", "solid\nendfacet\nendsolid\n", {}},
      {"keywords in capitals are not read", "SOLID X\nFACET NORMAL 0 0 1\nVERTEX 1 2 3\n", {}},
      {"empty text", "", {}},
  };
  for (const TASCIICase& c : cases) {
    SCOPED_TRACE(c.name);
    TFacetArray facets = {NumberedFacet(5)};
    int32_t count = -1;
    EXPECT_EQ(ReadASCIISTL(c.text, facets, count), !c.facets.empty());
    ASSERT_EQ(count, static_cast<int32_t>(c.facets.size()));
    ASSERT_EQ(facets.size(), c.facets.size());
    for (size_t i = 0; i < c.facets.size(); ++i) ExpectSameFacet(facets[i], c.facets[i]);
  }
}

// ---- Model preparation ----

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

// ---- Memory budget of the surface ----

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
  EXPECT_FALSE(SurfaceFacetsOverBudget(fits, fits * kSurfacePeakBytesPerFacet));
  EXPECT_TRUE(SurfaceFacetsOverBudget(fits + 1, fits * kSurfacePeakBytesPerFacet));
  EXPECT_FALSE(SurfaceFacetsOverBudget(0, 0));
  // Caffeine fits into the half of 1 GB of free memory; a protein of 1,788 atoms not into 8 GB.
  EXPECT_FALSE(SurfaceFacetsOverBudget(EstimatedSurfaceFacets(24), SurfaceBudgetBytes(1 * GB)));
  EXPECT_TRUE(SurfaceFacetsOverBudget(EstimatedSurfaceFacets(1788), SurfaceBudgetBytes(8 * GB)));

  const std::string message = SurfaceOverBudgetMessage(1788, EstimatedSurfaceFacets(1788), 4 * GB);
  EXPECT_NE(message.find("1788 atoms"), std::string::npos) << message;
  EXPECT_NE(message.find("37.1 million facets"), std::string::npos) << message;
  EXPECT_NE(message.find("budget (half the free memory) is 4.0 GB"), std::string::npos) << message;
}

TEST(SurfaceBudget, CountsTheFacetLinesOfALargeASCIIFile) {
  // More than the counter's 1 MB pieces, with CR LF breaks that a piece may cut between.
  std::string text = "solid big\r\n";
  for (int k = 0; k < 7000; ++k) text += AsciiFacet(NumberedFacet(k), "\r\n");
  text += "facet normal 0 0 1\r\nendsolid big";  // a last facet without corners still opens one
  ASSERT_GT(text.size(), size_t(1) << 20);
  TTempDir dir;
  WriteFileBytes(dir.File("big.stl"), text);
  EXPECT_EQ(CountSTLFacets(dir.File("big.stl")), 7001);
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

}  // namespace
}  // namespace pelorin

TEST(STLModel, CoordinatesNearTheFloatRangeKeepAFiniteRadius) {
  pelorin::TMeshModel model;
  pelorin::TFacetArray facets(1);
  facets[0].Vertices[0] = {-3e38f, -3e38f, 0};
  facets[0].Vertices[1] = {3e38f, 3e38f, 0};
  facets[0].Vertices[2] = {0, 0, 1};
  pelorin::PrepareMeshBuffers(model, facets);
  pelorin::ComputeModelBounds(model);
  EXPECT_TRUE(std::isfinite(model.ModelRadius));
  EXPECT_FLOAT_EQ(model.ModelRadius, 3e38f);
  EXPECT_FLOAT_EQ(model.ModelCenter.X, 0);
}
