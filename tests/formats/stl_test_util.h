// STL test data shared by the reader's and the mesh model's tests: binary and ASCII files made
// from facets, and facets distinct in every number.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/uSTLParser.h"

namespace pelorin_test {

inline void AppendLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
inline void AppendFloat(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  AppendLE32(out, bits);
}

// A binary STL: `header` padded to 80 bytes, the count (the facets' number unless given),
// the records with attribute word 0xBEEF, then `tail`.
inline std::string BinarySTL(const std::vector<pelorin::TFacet>& facets, const std::string& header = "",
                             int64_t count = -1, const std::string& tail = "") {
  std::string out = header;
  out.resize(80, '\0');
  AppendLE32(out, count < 0 ? static_cast<uint32_t>(facets.size()) : static_cast<uint32_t>(count));
  for (const pelorin::TFacet& f : facets) {
    AppendFloat(out, f.Normal.X), AppendFloat(out, f.Normal.Y), AppendFloat(out, f.Normal.Z);
    for (const pelorin::TVec3& v : f.Vertices) AppendFloat(out, v.X), AppendFloat(out, v.Y), AppendFloat(out, v.Z);
    out += "\xEF\xBE";
  }
  return out + tail;
}

inline pelorin::TFacet MakeFacet(pelorin::TVec3 n, pelorin::TVec3 a, pelorin::TVec3 b, pelorin::TVec3 c) {
  return pelorin::TFacet{n, {a, b, c}};
}

// Facet k of a numbered test mesh, distinct in every number.
inline pelorin::TFacet NumberedFacet(int k) {
  float b = static_cast<float>(k);
  return MakeFacet({0, 0, 1}, {b, b + 0.5f, -b}, {b + 1, b, 2 * b}, {b, b + 1, 0.25f});
}

inline std::string AsciiFacet(const pelorin::TFacet& f, const char* eol = "\n") {
  auto triple = [](const pelorin::TVec3& v) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%.9g %.9g %.9g", v.X, v.Y, v.Z);
    return std::string(buffer);
  };
  std::string s = std::string("  facet normal ") + triple(f.Normal) + eol + "    outer loop" + eol;
  for (const pelorin::TVec3& v : f.Vertices) s += "      vertex " + triple(v) + eol;
  return s + "    endloop" + eol + "  endfacet" + eol;
}

inline void ExpectSameFacet(const pelorin::TFacet& got, const pelorin::TFacet& want) {
  EXPECT_EQ(0, std::memcmp(&got, &want, sizeof(pelorin::TFacet)));
}

}  // namespace pelorin_test
