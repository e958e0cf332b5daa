// STL reader: the facets of ASCII and binary STL files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/uGeometry.h"

namespace pelorin {

// One triangle as stored in the file: the written normal, then the corners in file order.
struct TFacet {
  TVec3 Normal;
  TVec3 Vertices[3];
};
static_assert(sizeof(TFacet) == 48, "a facet is twelve packed floats");

using TFacetArray = std::vector<TFacet>;

// Facet counts stay below this so that every derived 32-bit count (3 vertices, 9 floats
// per facet) still fits; a file claiming more is not a model we can hold anyway.
constexpr int32_t kMaxSTLFacets = INT32_MAX / 9;

// ---- Reader -------------------------------------------------------------------------
//
// A file that cannot be opened at all is the caller's error to report, unlike content
// that does not read as STL. The file functions therefore hand back `openError`: empty
// when the file was opened, otherwise the system's reason. The overloads without it are
// for callers that treat both alike.

// True when the file is to be read as ASCII STL: it does not match its own binary facet
// count and it starts with "solid". Short, unreadable or unopenable files answer false.
[[nodiscard]] bool IsASCIISTL(const std::string& fileName, std::string& openError);
bool IsASCIISTL(const std::string& fileName);

// Reads a binary STL. True with `count` facets when the file holds at least one; false
// with an empty array and count 0 otherwise. Non-finite numbers are stored as 0.
[[nodiscard]] bool ReadBinarySTL(const std::string& fileName, TFacetArray& facets, int32_t& count,
                                 std::string& openError);
[[nodiscard]] bool ReadBinarySTL(const std::string& fileName, TFacetArray& facets, int32_t& count);

// Reads ASCII STL from the whole file text (lines end at LF, CR LF or CR): a line starting with
// "facet" (after blanks) opens a facet, and the next three "vertex" lines (other lines in
// between are passed over) fill its corners; a facet still open at the end keeps the corners it
// got. Numbers are words separated by blanks or commas. True when at least one facet was
// found. Unreadable or non-finite numbers are stored as 0.
[[nodiscard]] bool ReadASCIISTL(std::string_view text, TFacetArray& facets, int32_t& count);

// Reads an STL file, ASCII or binary by IsASCIISTL. True with `count` facets when it holds at
// least one; `openError` as above.
[[nodiscard]] bool ReadSTLFile(const std::string& fileName, TFacetArray& facets, int32_t& count,
                               std::string& openError);

// The facets an STL file holds as ReadSTLFile would read them, without reading them: a binary
// file's count from its header (0 when the file is shorter than that count needs; a count past
// kMaxSTLFacets is given as it stands), an ASCII file's facets in one streamed pass that keeps
// no more than a few bytes of a line (the reader's rule, without the kMaxSTLFacets cut).
// nullopt when the file cannot be opened or read.
[[nodiscard]] std::optional<int64_t> CountSTLFacets(const std::string& fileName);

// Replaces every normal shorter than 0.01 by the unit normal of the corners' winding.
void RepairFacetNormals(TFacetArray& facets);

}  // namespace pelorin
