// STL reader (ASCII and binary) and the 3D model that the mesh renderer draws from it.
#include "uSTLParser.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {
namespace {

constexpr uint64_t kBinaryHeaderSize = 84;      // 80 bytes of header, then the 32-bit facet count
constexpr uint64_t kBinaryRecordSize = 50;      // twelve floats and a 2-byte attribute word
constexpr float kShortNormal2 = 0.01f * 0.01f;  // stored normals shorter than 0.01 are recomputed
constexpr float kShortestDirection = 1e-9f;     // shorter vectors have no direction

uint32_t ReadLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// An infinite or NaN coordinate would poison the bounds and every renderer; such numbers
// are treated like unreadable ones.
uint32_t FiniteFloatBits(uint32_t bits) {
  return (bits & 0x7f800000u) == 0x7f800000u ? 0u : bits;
}

std::string OpenErrorText(const std::string& fileName) {
  const char* reason = errno != 0 ? std::strerror(errno) : "unknown error";
  return "Cannot open file [" + fileName + "]: " + reason;
}

bool ReadExactly(std::FILE* f, void* buffer, uint64_t size) {
  return std::fread(buffer, 1, static_cast<size_t>(size), f) == static_cast<size_t>(size);
}

// The facet count of a binary file, or 0 when the header cannot be read.
uint32_t ReadBinaryCount(std::FILE* f) {
  unsigned char header[kBinaryHeaderSize];
  if (!ReadExactly(f, header, sizeof header)) return 0;
  return ReadLE32(header + 80);
}

bool HasNonFiniteNumber(const unsigned char* record) {
  bool found = false;
  for (size_t i = 0; i < 12; ++i) found |= (ReadLE32(record + 4 * i) & 0x7f800000u) == 0x7f800000u;
  return found;
}

// One 50-byte record: twelve floats (normal, then the corners), then an attribute word.
void DecodeBinaryRecord(const unsigned char* record, TFacet& facet) {
  uint32_t words[12];
  for (size_t i = 0; i < 12; ++i) words[i] = FiniteFloatBits(ReadLE32(record + 4 * i));
  std::memcpy(&facet, words, sizeof words);
}

// Reads the records of an open binary file into `facets`.
bool ReadBinaryFacets(std::FILE* f, TFacetArray& facets, int32_t& count) {
  auto size = FileSizeOf(f);
  if (!size || *size < kBinaryHeaderSize) return false;
  uint32_t n = ReadBinaryCount(f);
  if (n == 0 || n > uint32_t(kMaxSTLFacets)) return false;
  if (*size < kBinaryHeaderSize + uint64_t(n) * kBinaryRecordSize) return false;
  facets.reserve(n);
  // Large reads into a buffer that stays in the cache while it is decoded: the records
  // then pass through main memory once, as facets.
  constexpr uint32_t kRecordsPerRead = 20000;  // 1 MB
  std::vector<unsigned char> buffer(size_t(std::min(n, kRecordsPerRead)) * kBinaryRecordSize);
  for (uint32_t done = 0; done < n;) {
    uint32_t records = std::min(n - done, kRecordsPerRead);
    if (!ReadExactly(f, buffer.data(), uint64_t(records) * kBinaryRecordSize)) return false;
    const unsigned char* end = buffer.data() + size_t(records) * kBinaryRecordSize;
    for (const unsigned char* record = buffer.data(); record < end; record += kBinaryRecordSize) {
      TFacet facet;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      std::memcpy(&facet, record, sizeof facet);  // the file's byte order is the machine's
      if (HasNonFiniteNumber(record)) DecodeBinaryRecord(record, facet);
#else
      DecodeBinaryRecord(record, facet);
#endif
      facets.push_back(facet);
    }
    done += records;
  }
  count = static_cast<int32_t>(n);
  return true;
}

// ---- ASCII ----

bool IsWordSeparator(char c) {
  return IsBlankChar(c) || c == ',';
}

// The number that starts at p and ends at the next separator, or 0 when the word there is not
// a finite number; p moves past the word.
float ReadNumberWord(const char*& p, const char* end) {
  const char* start = p;
  // from_chars takes no leading plus, which number writers may put there.
  if (end - start > 1 && *start == '+' && start[1] != '-' && start[1] != '+') ++start;
  float value = 0;
  auto [stop, error] = std::from_chars(start, end, value);
  p = stop;
  if (error == std::errc() && (stop == end || IsWordSeparator(*stop)) && std::isfinite(value)) return value;
  while (p < end && !IsWordSeparator(*p)) ++p;
  return 0;
}

float ParseNumberText(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  float value = ReadNumberWord(p, end);
  return p == end ? value : 0;  // a separator inside: more than one word
}

// Reads words first..first+2 of `line` (counted from 0) as numbers into `out`, but only when
// the line has that many words.
void ParseTriple(std::string_view line, int first, TVec3& out) {
  const char* p = line.data();
  const char* end = p + line.size();
  float values[3];
  for (int word = 0; word < first + 3; ++word) {
    while (p < end && IsWordSeparator(*p)) ++p;
    if (p == end) return;
    if (word >= first) {
      values[word - first] = ReadNumberWord(p, end);
    } else {
      while (p < end && !IsWordSeparator(*p)) ++p;
    }
  }
  out = {values[0], values[1], values[2]};
}

bool HasPrefix(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() && line[0] == prefix[0] && line.compare(0, prefix.size(), prefix) == 0;
}

// Walks the lines of a text; a line ends at LF, CR LF or a lone CR. The next LF and the next
// CR are each searched once and remembered until the walk passes them, so a text that has
// only one kind of break costs one search per line, and a text with none costs one search.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool Next(std::string_view& line) {
    if (p_ >= end_) return false;
    const char* lf = NextBreak('\n', nextLF_);
    const char* cr = NextBreak('\r', nextCR_);
    const char* lineEnd = std::min(lf, cr);
    line = std::string_view(p_, static_cast<size_t>(lineEnd - p_));
    p_ = lineEnd == end_ ? end_ : lineEnd + (lineEnd == cr && cr + 1 == lf ? 2 : 1);
    return true;
  }

 private:
  const char* NextBreak(char c, const char*& cached) {
    if (cached < p_) {
      const void* found = std::memchr(p_, c, static_cast<size_t>(end_ - p_));
      cached = found ? static_cast<const char*>(found) : end_;
    }
    return cached;
  }

  const char* p_;
  const char* end_;
  const char* nextLF_ = nullptr;
  const char* nextCR_ = nullptr;
};

// Collects facets line by line: a "facet" line opens one, and the next three "vertex"
// lines (other lines in between are passed over) fill its corners.
class TASCIIFacetBuilder {
 public:
  explicit TASCIIFacetBuilder(TFacetArray& facets) : facets_(facets) {}

  void TakeLine(std::string_view line) {
    // Only the leading blanks matter: trailing ones are word separators to the number reader.
    size_t start = 0;
    while (start < line.size() && IsBlankChar(line[start])) ++start;
    line.remove_prefix(start);
    if (!open_) {
      if (HasPrefix(line, "facet")) Open(line);
    } else if (HasPrefix(line, "vertex")) {
      ParseTriple(line, 1, current_.Vertices[vertexIndex_]);
      if (++vertexIndex_ == 3) Close();
    }
  }
  // A facet still open at the end of the text keeps the corners it got.
  void Finish() {
    if (open_) Close();
  }
  bool Full() const { return facets_.size() >= size_t(kMaxSTLFacets); }

 private:
  void Open(std::string_view line) {
    current_ = TFacet{};
    ParseTriple(line, 2, current_.Normal);
    vertexIndex_ = 0;
    open_ = true;
  }
  void Close() {
    facets_.push_back(current_);
    open_ = false;
  }

  TFacetArray& facets_;
  TFacet current_;
  int vertexIndex_ = 0;
  bool open_ = false;
};

// ---- Model ----

// Reads the whole file into `text` through one shared-read handle.
bool ReadFileText(const std::string& fileName, std::string& text, std::string& openError) {
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) {
    openError = OpenErrorText(fileName);
    return false;
  }
  auto size = FileSizeOf(f.get());
  if (size && *size > text.max_size()) return false;
  text.resize(size ? static_cast<size_t>(*size) : 0);
  size_t got = text.empty() ? 0 : std::fread(text.data(), 1, text.size(), f.get());
  text.resize(got);
  char buffer[64 * 1024];  // whatever the size did not announce (a file still growing)
  while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, got);
  return !std::ferror(f.get());
}

// Sizes a mesh array, keeping its storage unless that is more than twice what is needed.
void SizeMeshArray(TFloatArray& array, size_t size) {
  if (array.capacity() / 2 > size) TFloatArray().swap(array);
  array.resize(size);
}

// Bounding box of the corners of the facets added, stored as the model's centre and radius.
class TBoundsBuilder {
 public:
  void Add(const TFacet& facet) {
    for (const TVec3& v : facet.Vertices) AddPoint(v.X, v.Y, v.Z);
  }
  void AddPoint(float x, float y, float z) {
    min_.X = std::min(min_.X, x), max_.X = std::max(max_.X, x);
    min_.Y = std::min(min_.Y, y), max_.Y = std::max(max_.Y, y);
    min_.Z = std::min(min_.Z, z), max_.Z = std::max(max_.Z, z);
  }
  // An empty model keeps centre (0, 0, 0), radius 1 and bounds that are not valid.
  void StoreInto(TMeshModel& model, int32_t facetCount) const {
    model.ShadowVertices.clear();
    model.ModelCenter = {0, 0, 0};
    model.ModelRadius = 1;
    model.BoundsValid = facetCount > 0;
    if (!model.BoundsValid) return;
    // Halved before subtracting: coordinates near the float range would otherwise give an
    // infinite extent, and with it an empty (NaN) projection.
    model.ModelCenter = {min_.X / 2 + max_.X / 2, min_.Y / 2 + max_.Y / 2, min_.Z / 2 + max_.Z / 2};
    float radius = std::max({max_.X / 2 - min_.X / 2, max_.Y / 2 - min_.Y / 2, max_.Z / 2 - min_.Z / 2});
    model.ModelRadius = radius < 1e-6f ? 1.0f : radius;
  }

 private:
  TVec3 min_{1e18f, 1e18f, 1e18f};
  TVec3 max_{-1e18f, -1e18f, -1e18f};
};

// Sizes the mesh arrays for `facetCount` facets, then takes the facets in order: three
// corners each, every corner with the facet's normal and colour (flat shading).
class TMeshWriter {
 public:
  TMeshWriter(TMeshModel& model, int32_t facetCount) : count_(facetCount) {
    model.BuffersUploaded = false;
    model.ShadowVertices.clear();
    model.MeshVertexCount = 3 * facetCount;
    size_t floats = size_t(model.MeshVertexCount) * 3;
    SizeMeshArray(model.MeshVertices, floats);
    SizeMeshArray(model.MeshNormals, floats);
    SizeMeshArray(model.MeshColors, floats);
    vertex_ = model.MeshVertices.data();
    normal_ = model.MeshNormals.data();
    color_ = model.MeshColors.data();
  }
  int32_t Count() const { return count_; }
  void Add(const TFacet& facet) {
    const TVec3& n = facet.Normal;
    TMeshColor c = FacetColor(n);
    for (const TVec3& v : facet.Vertices) {
      *vertex_++ = v.X, *vertex_++ = v.Y, *vertex_++ = v.Z;
      *normal_++ = n.X, *normal_++ = n.Y, *normal_++ = n.Z;
      *color_++ = c.R, *color_++ = c.G, *color_++ = c.B;
    }
  }

 private:
  int32_t count_;
  float* vertex_;
  float* normal_;
  float* color_;
};

bool ReadModelFacets(const std::string& fileName, TFacetArray& facets, int32_t& count, std::string& openError) {
  if (!IsASCIISTL(fileName, openError)) {
    return openError.empty() && ReadBinarySTL(fileName, facets, count, openError);
  }
  std::string text;
  return ReadFileText(fileName, text, openError) && ReadASCIISTL(text, facets, count);
}

}  // namespace

TVec3 VecSub(const TVec3& a, const TVec3& b) {
  return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TVec3 VecCross(const TVec3& a, const TVec3& b) {
  return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

float VecLength(const TVec3& v) {
  return std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
}

TVec3 VecNormalize(const TVec3& v) {
  float length = VecLength(v);
  if (!(length >= kShortestDirection)) return {0, 1, 0};
  float inverse = 1.0f / length;  // one division per vector: models have a million of them
  return {v.X * inverse, v.Y * inverse, v.Z * inverse};
}

float ParseSTLFloat(std::string_view text) {
  return ParseNumberText(TrimView(text));
}

bool IsASCIISTL(const std::string& fileName, std::string& openError) {
  openError.clear();
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) {
    openError = OpenErrorText(fileName);
    return false;
  }
  auto size = FileSizeOf(f.get());
  if (!size || *size < kBinaryHeaderSize) return false;
  uint32_t n = ReadBinaryCount(f.get());
  if (std::ferror(f.get())) return false;
  if (kBinaryHeaderSize + uint64_t(n) * kBinaryRecordSize == *size) return false;
  char start[5];
  if (std::fseek(f.get(), 0, SEEK_SET) != 0 || !ReadExactly(f.get(), start, sizeof start)) return false;
  return std::memcmp(start, "solid", 5) == 0;
}

bool IsASCIISTL(const std::string& fileName) {
  std::string openError;
  return IsASCIISTL(fileName, openError);
}

bool ReadBinarySTL(const std::string& fileName, TFacetArray& facets, int32_t& count, std::string& openError) {
  count = 0;
  facets.clear();
  openError.clear();
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) {
    openError = OpenErrorText(fileName);
    return false;
  }
  bool ok = false;
  try {
    ok = ReadBinaryFacets(f.get(), facets, count);
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    count = 0;
    TFacetArray().swap(facets);
  }
  return ok;
}

bool ReadBinarySTL(const std::string& fileName, TFacetArray& facets, int32_t& count) {
  std::string openError;
  return ReadBinarySTL(fileName, facets, count, openError);
}

bool ReadASCIISTL(std::string_view text, TFacetArray& facets, int32_t& count) {
  count = 0;
  facets.clear();
  try {
    facets.reserve(1024);
    TASCIIFacetBuilder builder(facets);
    TLineReader lines(text);
    std::string_view line;
    while (!builder.Full() && lines.Next(line)) builder.TakeLine(line);
    builder.Finish();
    if (facets.capacity() - facets.size() > facets.size() / 4) facets.shrink_to_fit();
  } catch (const std::exception&) {
    TFacetArray().swap(facets);
    return false;
  }
  count = static_cast<int32_t>(facets.size());
  return count > 0;
}

void RepairFacetNormals(TFacetArray& facets) {
  // The converter writes no normals at all, so every facet of a model of half a million
  // needs one. Blocks of facets go through the square roots and divisions side by side,
  // which the compiler turns into vector instructions; the result equals VecNormalize's.
  constexpr size_t kBlock = 64;
  float x[kBlock], y[kBlock], z[kBlock], length[kBlock], inverse[kBlock];
  for (size_t start = 0; start < facets.size(); start += kBlock) {
    TFacet* block = facets.data() + start;
    size_t count = std::min(kBlock, facets.size() - start);
    for (size_t i = 0; i < count; ++i) {
      const TVec3* v = block[i].Vertices;
      TVec3 n = VecCross(VecSub(v[1], v[0]), VecSub(v[2], v[0]));
      x[i] = n.X, y[i] = n.Y, z[i] = n.Z;
    }
    for (size_t i = 0; i < count; ++i) length[i] = std::sqrt(x[i] * x[i] + y[i] * y[i] + z[i] * z[i]);
    for (size_t i = 0; i < count; ++i) inverse[i] = 1.0f / length[i];
    for (size_t i = 0; i < count; ++i) {
      TVec3& n = block[i].Normal;
      if (n.X * n.X + n.Y * n.Y + n.Z * n.Z >= kShortNormal2) continue;
      bool directed = length[i] >= kShortestDirection;
      n = directed ? TVec3{x[i] * inverse[i], y[i] * inverse[i], z[i] * inverse[i]} : TVec3{0, 1, 0};
    }
  }
}

TMeshColor FacetColor(const TVec3& n) {
  if (n.Y > 0.5f) {
    double ny = n.Y;
    return {float(0.42 + 0.28 * ny), float(0.72 + 0.18 * ny), float(0.76 + 0.14 * ny)};
  }
  if (std::fabs(n.Z) < std::fabs(n.X)) return {0.35f, 0.55f, 0.82f};
  if (std::fabs(n.Z) > 0.4f) return {0.55f, 0.40f, 0.72f};
  return {0.28f, 0.42f, 0.48f};
}

void ComputeModelBounds(TMeshModel& model) {
  TBoundsBuilder bounds;
  const size_t vertices = MeshArraysHeld(model) ? size_t(model.MeshVertexCount) : 0;
  const float* v = model.MeshVertices.data();
  for (size_t i = 0; i < vertices; ++i, v += 3) bounds.AddPoint(v[0], v[1], v[2]);
  bounds.StoreInto(model, static_cast<int32_t>(vertices / 3));
}

void PrepareMeshBuffers(TMeshModel& model, const TFacetArray& facets) {
  TMeshWriter writer(model, static_cast<int32_t>(std::min<size_t>(facets.size(), size_t(kMaxSTLFacets))));
  for (int32_t i = 0; i < writer.Count(); ++i) writer.Add(facets[i]);
  model.FacetCount = writer.Count();
  model.BoundsValid = false;
}

void GetModelBounds(TMeshModel& model, TVec3& center, float& radius) {
  if (!model.BoundsValid) ComputeModelBounds(model);
  center = model.ModelCenter;
  radius = model.ModelRadius;
}

void ResetMeshModel(TMeshModel& model) {
  model.FacetCount = 0;
  model.MeshVertexCount = 0;
  model.MeshVertices.clear();
  model.MeshNormals.clear();
  model.MeshColors.clear();
  model.BoundsValid = false;
  model.BuffersUploaded = false;
  std::vector<float>().swap(model.ShadowVertices);
  model.Kind = TModelKind::Surface;
  model.SphereLevel = -1;
}

bool MeshArraysHeld(const TMeshModel& model) {
  const size_t floats = size_t(std::max(model.MeshVertexCount, 0)) * 3;
  return model.MeshVertices.size() >= floats && model.MeshNormals.size() >= floats && model.MeshColors.size() >= floats;
}

void ReleaseMeshArrays(TMeshModel& model) {
  TFloatArray().swap(model.MeshVertices);
  TFloatArray().swap(model.MeshNormals);
  TFloatArray().swap(model.MeshColors);
  std::vector<float>().swap(model.ShadowVertices);
}

void PackMeshVertices(const TMeshModel& model, size_t first, size_t count, TPackedVertex* out) {
  auto fraction = [](float value) {  // a unit normal's component, -1..1, in 1/32767
    return static_cast<int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
  };
  auto byte = [](float value) { return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); };
  const float* v = model.MeshVertices.data() + 3 * first;
  const float* n = model.MeshNormals.data() + 3 * first;
  const float* c = model.MeshColors.data() + 3 * first;
  for (size_t i = 0; i < count; ++i, v += 3, n += 3, c += 3) {
    out[i] = {v[0],       v[1],       v[2], fraction(n[0]), fraction(n[1]), fraction(n[2]), 0, byte(c[0]),
              byte(c[1]), byte(c[2]), 255};
  }
}

bool LoadMeshModel(TMeshModel& model, const std::string& fileName, std::string& openError) {
  openError.clear();
  ResetMeshModel(model);
  try {
    TFacetArray facets;
    int32_t count = 0;
    if (!ReadModelFacets(fileName, facets, count, openError)) return false;
    RepairFacetNormals(facets);
    model.FacetCount = count;
    // Bounds and mesh arrays in one pass over the facets, which a large model reads from
    // main memory, not from the cache. The facets go when this returns: the mesh holds them.
    TBoundsBuilder bounds;
    TMeshWriter writer(model, count);
    for (const TFacet& facet : facets) {
      bounds.Add(facet);
      writer.Add(facet);
    }
    bounds.StoreInto(model, count);
    return true;
  } catch (const std::exception&) {
    ResetMeshModel(model);  // out of memory half way: an empty model, never a partial one
    return false;
  }
}

}  // namespace pelorin
