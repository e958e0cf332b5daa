// STL reader: ASCII and binary STL files read into facets.
#include "formats/uSTLParser.h"

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

}  // namespace

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

bool ReadSTLFile(const std::string& fileName, TFacetArray& facets, int32_t& count, std::string& openError) {
  openError.clear();
  if (!IsASCIISTL(fileName, openError)) {
    return openError.empty() && ReadBinarySTL(fileName, facets, count, openError);
  }
  std::string text;
  return ReadFileText(fileName, text, openError) && ReadASCIISTL(text, facets, count);
}

}  // namespace pelorin
