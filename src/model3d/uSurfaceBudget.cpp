// The memory budget of the 3D surface model: the decision and the cheap facet count of an STL.
#include "model3d/uSurfaceBudget.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "model3d/uMeshModel.h"
#include "support/uFileIO.h"

namespace pelorin {
namespace {

constexpr uint64_t kBinaryHeaderSize = 84;  // 80 bytes of header, then the 32-bit facet count
constexpr uint64_t kBinaryRecordSize = 50;
constexpr size_t kCountChunk = 1 << 20;

// Counts the lines whose first word starts with "facet" (the lines that open a facet for the
// ASCII reader) in text fed in pieces cut anywhere. "endfacet" lines do not count.
class TFacetLineCounter {
 public:
  void Feed(const char* p, const char* end) {
    static constexpr char kWord[] = "facet";
    for (; p < end; ++p) {
      const char c = *p;
      if (c == '\n' || c == '\r') {
        matched_ = 0, skipping_ = false;
      } else if (skipping_ || (matched_ == 0 && static_cast<unsigned char>(c) <= 32)) {
        continue;
      } else if (c == kWord[matched_]) {
        if (++matched_ == 5) ++count_, skipping_ = true;
      } else {
        skipping_ = true;
      }
    }
  }
  int64_t Count() const { return count_; }

 private:
  int matched_ = 0;
  bool skipping_ = false;
  int64_t count_ = 0;
};

std::optional<int64_t> CountASCIIFacets(std::FILE* f) {
  if (!SeekFile(f, 0)) return std::nullopt;
  std::vector<char> buffer(kCountChunk);
  TFacetLineCounter counter;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) counter.Feed(buffer.data(), buffer.data() + got);
  if (std::ferror(f)) return std::nullopt;
  return counter.Count();
}

// One decimal of a large quantity in the unit that keeps it readable.
std::string Rounded(double value, double unit, const char* name) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value / unit, name);
  return text;
}

std::string BytesText(uint64_t bytes) {
  const double b = static_cast<double>(bytes);
  if (b >= 1e9) return Rounded(b, 1e9, "GB");
  if (b >= 1e6) return Rounded(b, 1e6, "MB");
  return Rounded(b, 1e3, "KB");
}

std::string FacetsText(int64_t facets) {
  if (facets >= 1000000) return Rounded(static_cast<double>(facets), 1e6, "million facets");
  return std::to_string(facets) + " facets";
}

}  // namespace

uint64_t SurfaceBudgetBytes(uint64_t availablePhysicalBytes) {
  return availablePhysicalBytes / kSurfaceBudgetShareDivisor;
}

int64_t EstimatedSurfaceFacets(int64_t atoms) {
  if (atoms <= 0) return 0;
  // Beyond this the product would overflow; no budget holds such a surface anyway.
  constexpr int64_t kMaxAtoms = INT64_MAX / kSurfaceFacetsPerAtom / kSurfacePeakBytesPerFacet;
  return (atoms < kMaxAtoms ? atoms : kMaxAtoms) * kSurfaceFacetsPerAtom;
}

int64_t SurfaceAtomsOfFacets(int64_t facets) {
  return facets <= 0 ? 0 : (facets - 1) / kSurfaceFacetsPerAtom + 1;
}

bool SurfaceFacetsOverBudget(int64_t facets, uint64_t budgetBytes) {
  if (facets <= 0) return false;
  // More than the reader takes is too many on any machine.
  if (facets > kMaxSTLFacets) return true;
  return static_cast<uint64_t>(facets) > budgetBytes / kSurfacePeakBytesPerFacet;
}

std::string SurfaceOverBudgetMessage(int64_t atoms, int64_t facets, uint64_t budgetBytes) {
  const uint64_t needed = static_cast<uint64_t>(facets > 0 ? facets : 0) * kSurfacePeakBytesPerFacet;
  return "The 3D surface of " + std::to_string(atoms) +
         " atoms is too large for the free memory: " + FacetsText(facets) + " need " + BytesText(needed) +
         ", the budget (half the free memory) is " + BytesText(budgetBytes) + ".";
}

std::optional<int64_t> CountSTLFacets(const std::string& fileName) {
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) return std::nullopt;
  const std::optional<uint64_t> size = FileSizeOf(f.get());
  if (!size) return std::nullopt;
  unsigned char header[kBinaryHeaderSize];
  if (*size < kBinaryHeaderSize || std::fread(header, 1, sizeof header, f.get()) != sizeof header) {
    return std::ferror(f.get()) ? std::nullopt : std::optional<int64_t>(0);
  }
  const uint64_t count =
      uint64_t(header[80]) | uint64_t(header[81]) << 8 | uint64_t(header[82]) << 16 | uint64_t(header[83]) << 24;
  const uint64_t binarySize = kBinaryHeaderSize + count * kBinaryRecordSize;
  // The reader's own rule: ASCII when the size does not match the count and the text starts so.
  if (binarySize != *size && std::memcmp(header, "solid", 5) == 0) return CountASCIIFacets(f.get());
  return static_cast<int64_t>(*size >= binarySize ? count : 0);
}

}  // namespace pelorin
