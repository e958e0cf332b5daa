// STL reader: ASCII and binary STL files read into facets, and their facets counted without
// reading them, on the same rules.
#include "formats/uSTLParser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "formats/uTextScan.h"
#include "support/uFileIO.h"

namespace pelorin {
namespace {

// The file opened for reading, or null with the system's reason in `openError`.
TFile OpenForReading(const std::string& fileName, std::string& openError) {
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) openError = CannotOpenText(fileName);
  return f;
}

constexpr uint64_t kBinaryHeaderSize = 84;      // 80 bytes of header, then the 32-bit facet count
constexpr uint64_t kBinaryRecordSize = 50;      // twelve floats and a 2-byte attribute word
constexpr float kShortNormal2 = 0.01f * 0.01f;  // stored normals shorter than 0.01 are recomputed
// Of an ASCII line the count looks at its keyword only: "vertex" and a little more.
constexpr size_t kCountedLineBytes = 16;

uint32_t ReadLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// An infinite or NaN coordinate would poison the bounds and every renderer; such numbers
// are treated like unreadable ones.
uint32_t FiniteFloatBits(uint32_t bits) {
  return (bits & 0x7f800000u) == 0x7f800000u ? 0u : bits;
}

bool ReadExactly(std::FILE* f, void* buffer, uint64_t size) {
  return std::fread(buffer, 1, static_cast<size_t>(size), f) == static_cast<size_t>(size);
}

// What the start of a file says about it.
struct TSTLHead {
  uint64_t Size = 0;   // of the file
  uint32_t Count = 0;  // the binary facet count (bytes 81-84); 0 when the file is shorter
  // Read as ASCII: the file does not match its own binary facet count and starts with "solid".
  bool Ascii = false;
};

// The head of an open file, read from its start; nullopt when the file cannot be read.
std::optional<TSTLHead> ReadSTLHead(std::FILE* f) {
  const std::optional<uint64_t> size = FileSizeOf(f);
  if (!size) return std::nullopt;
  TSTLHead head;
  head.Size = *size;
  if (*size < kBinaryHeaderSize) return head;
  unsigned char header[kBinaryHeaderSize];
  if (!ReadExactly(f, header, sizeof header)) return std::ferror(f) ? std::nullopt : std::optional<TSTLHead>(head);
  head.Count = ReadLE32(header + 80);
  head.Ascii =
      kBinaryHeaderSize + uint64_t(head.Count) * kBinaryRecordSize != *size && std::memcmp(header, "solid", 5) == 0;
  return head;
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
  const std::optional<TSTLHead> head = ReadSTLHead(f);
  if (!head || head->Size < kBinaryHeaderSize) return false;
  const uint32_t n = head->Count;
  if (n == 0 || n > uint32_t(kMaxSTLFacets)) return false;
  if (head->Size < kBinaryHeaderSize + uint64_t(n) * kBinaryRecordSize) return false;
  facets.reserve(n);
  // Large reads into a buffer that stays in the cache while it is decoded: the records
  // then pass through main memory once, as facets.
  constexpr uint32_t kRecordsPerRead = kReadChunkSize / kBinaryRecordSize;
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

// Reads words first..first+2 of `line` (counted from 0) as numbers into `out`, but only when
// the line has that many words.
void ParseTriple(std::string_view line, int first, TVec3& out) {
  const char* p = line.data();
  const char* end = p + line.size();
  float values[3];
  for (int word = 0; word < first + 3; ++word) {
    while (p < end && IsNumberSeparator(*p)) ++p;
    if (p == end) return;
    if (word >= first) {
      values[word - first] = ReadFloatWord(p, end);
    } else {
      while (p < end && !IsNumberSeparator(*p)) ++p;
    }
  }
  out = {values[0], values[1], values[2]};
}

bool HasPrefix(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() && line[0] == prefix[0] && line.compare(0, prefix.size(), prefix) == 0;
}

// The walk through the lines of ASCII STL, of the reader and the count alike: a "facet" line
// opens a facet, and the next three "vertex" lines (other lines in between are passed over) are
// its corners, the third closing it. Lines come without their leading blanks.
class TASCIIFacetLines {
 public:
  enum class TEvent : uint8_t { kNone, kOpen, kCorner };
  TEvent Take(std::string_view line) {
    if (!open_) {
      if (!HasPrefix(line, "facet")) return TEvent::kNone;
      open_ = true;
      corners_ = 0;
      return TEvent::kOpen;
    }
    if (!HasPrefix(line, "vertex")) return TEvent::kNone;
    corner_ = corners_++;
    open_ = corners_ < 3;
    return TEvent::kCorner;
  }
  // The corner of the last kCorner, 0 to 2.
  int Corner() const { return corner_; }
  bool Closed() const { return !open_; }
  // A facet still open at the end of the text keeps the corners it got: it counts.
  bool Open() const { return open_; }

 private:
  bool open_ = false;
  int corners_ = 0;
  int corner_ = 0;
};

// Collects the facets of the walk.
class TASCIIFacetBuilder {
 public:
  explicit TASCIIFacetBuilder(TFacetArray& facets) : facets_(facets) {}

  void TakeLine(std::string_view line) {
    // Trailing blanks are word separators to the number reader.
    switch (lines_.Take(line)) {
      case TASCIIFacetLines::TEvent::kOpen:
        current_ = TFacet{};
        ParseTriple(line, 2, current_.Normal);
        break;
      case TASCIIFacetLines::TEvent::kCorner:
        ParseTriple(line, 1, current_.Vertices[lines_.Corner()]);
        if (lines_.Closed()) facets_.push_back(current_);
        break;
      case TASCIIFacetLines::TEvent::kNone:
        break;
    }
  }
  void Finish() {
    if (lines_.Open()) facets_.push_back(current_);
  }
  bool Full() const { return facets_.size() >= size_t(kMaxSTLFacets); }

 private:
  TFacetArray& facets_;
  TASCIIFacetLines lines_;
  TFacet current_;
};

// The facets of the walk, counted.
class TASCIIFacetCounter {
 public:
  bool TakeLine(const TLine& line) {
    if (lines_.Take(line.Head) == TASCIIFacetLines::TEvent::kCorner && lines_.Closed()) ++count_;
    return true;
  }
  int64_t Finish() const { return count_ + (lines_.Open() ? 1 : 0); }

 private:
  TASCIIFacetLines lines_;
  int64_t count_ = 0;
};

std::optional<int64_t> CountASCIIFacets(std::FILE* f) {
  if (!SeekFile(f, 0)) return std::nullopt;
  TASCIIFacetCounter counter;
  TLineSplitter lines(kCountedLineBytes, true);
  auto takeLine = [&counter](const TLine& line) { return counter.TakeLine(line); };
  if (FeedStream(f, [&](std::string_view piece) { return lines.Feed(piece, takeLine); }) != TFeedResult::kRead)
    return std::nullopt;
  lines.Finish(takeLine);
  return counter.Finish();
}

// Reads the whole file into `text` through one shared-read handle.
bool ReadFileText(const std::string& fileName, std::string& text, std::string& openError) {
  TFile f = OpenForReading(fileName, openError);
  if (!f) return false;
  auto size = FileSizeOf(f.get());
  if (size && *size > text.max_size()) return false;
  text.resize(size ? static_cast<size_t>(*size) : 0);
  size_t got = text.empty() ? 0 : std::fread(text.data(), 1, text.size(), f.get());
  text.resize(got);
  // Whatever the size did not announce (a file still growing).
  return !std::ferror(f.get()) && FeedStream(f.get(), [&text](std::string_view piece) {
                                    text.append(piece);
                                    return true;
                                  }) == TFeedResult::kRead;
}

}  // namespace

bool IsASCIISTL(const std::string& fileName, std::string& openError) {
  openError.clear();
  TFile f = OpenForReading(fileName, openError);
  if (!f) return false;
  const std::optional<TSTLHead> head = ReadSTLHead(f.get());
  return head && head->Ascii;
}

bool IsASCIISTL(const std::string& fileName) {
  std::string openError;
  return IsASCIISTL(fileName, openError);
}

bool ReadBinarySTL(const std::string& fileName, TFacetArray& facets, int32_t& count, std::string& openError) {
  count = 0;
  facets.clear();
  openError.clear();
  TFile f = OpenForReading(fileName, openError);
  if (!f) return false;
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
    TLineSplitter lines(kNoLineLimit, true);
    lines.FeedLast(text, [&builder](const TLine& line) {
      builder.TakeLine(line.Head);
      return !builder.Full();
    });
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

std::optional<int64_t> CountSTLFacets(const std::string& fileName) {
  try {
    TFile f = OpenReadDenyWrite(fileName);
    if (!f) return std::nullopt;
    const std::optional<TSTLHead> head = ReadSTLHead(f.get());
    if (!head) return std::nullopt;
    if (head->Ascii) return CountASCIIFacets(f.get());
    const uint64_t binarySize = kBinaryHeaderSize + uint64_t(head->Count) * kBinaryRecordSize;
    return static_cast<int64_t>(head->Size >= binarySize ? head->Count : 0);
  } catch (const std::exception&) {  // no memory for the piece
    return std::nullopt;
  }
}

}  // namespace pelorin
