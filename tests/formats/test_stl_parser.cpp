// Tests of the STL reader: the binary or ASCII decision, both readers, and the facet count that
// judges a file by the reader's rules without reading it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "formats/stl_test_util.h"
#include "formats/uSTLParser.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::AsciiFacet;
using pelorin_test::BinarySTL;
using pelorin_test::ExpectSameFacet;
using pelorin_test::MakeFacet;
using pelorin_test::NumberedFacet;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

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
  std::string text;
  std::vector<TFacet> facets;
};

// Irregular facets as the reader reads them; the count, streamed from a file in lines of which
// it keeps a few bytes only, must come to the same number.
TEST(STLASCIIReader, IrregularFacetsReadAndCounted) {
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
      {"more leading blanks than the count keeps of a line",
       std::string(100, ' ') + "facet normal 0 0 1\n" + std::string(70, '\t') + "vertex 1 1 1\nvertex 2 2 2\n" +
           std::string(40, ' ') + "vertex 3 3 3\n",
       {MakeFacet({0, 0, 1}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3})}},
      {"empty text", "", {}},
  };
  TTempDir dir;
  for (const TASCIICase& c : cases) {
    SCOPED_TRACE(c.name);
    TFacetArray facets = {NumberedFacet(5)};
    int32_t count = -1;
    EXPECT_EQ(ReadASCIISTL(c.text, facets, count), !c.facets.empty());
    ASSERT_EQ(count, static_cast<int32_t>(c.facets.size()));
    ASSERT_EQ(facets.size(), c.facets.size());
    for (size_t i = 0; i < c.facets.size(); ++i) ExpectSameFacet(facets[i], c.facets[i]);
    // As a file: "solid" first and long enough to be no binary file.
    const std::string path = dir.File("irregular.stl");
    WriteFileBytes(path, "solid t\n" + c.text + std::string(84, '\n'));
    EXPECT_EQ(CountSTLFacets(path), static_cast<int64_t>(c.facets.size()));
  }
}

TEST(STLFacetCount, CountsTheFacetsOfALargeASCIIFile) {
  // More than one piece of the count's reads, with CR LF breaks that a piece may cut between.
  std::string text = "solid big\r\n";
  for (int k = 0; k < 7000; ++k) text += AsciiFacet(NumberedFacet(k), "\r\n");
  text += "facet normal 0 0 1\r\nendsolid big";  // a last facet without corners still opens one
  ASSERT_GT(text.size(), size_t(1) << 20);
  TTempDir dir;
  WriteFileBytes(dir.File("big.stl"), text);
  EXPECT_EQ(CountSTLFacets(dir.File("big.stl")), 7001);
}

}  // namespace
}  // namespace pelorin
