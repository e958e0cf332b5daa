// Multi-record SDF files cut into record texts.
#include "formats/uSDFRecords.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/uRecordScan.h"
#include "support/uFileIO.h"

namespace pelorin {

namespace {

constexpr size_t kChunkSize = 1 << 20;

// Cuts a stream of chunks into record texts where the scanner finds their ends. A record
// inside one chunk is converted straight from it; only one that a chunk's end cuts is
// gathered in a buffer first.
class TRecordSplitter {
 public:
  explicit TRecordSplitter(std::vector<std::string>& records) : records_(records) {}

  void Feed(const char* begin, const char* end) {
    ends_.clear();
    const uint64_t chunkOffset = scanner_.Offset();
    scanner_.Feed(begin, end, ends_);
    const char* p = begin;
    for (uint64_t recordEnd : ends_) {
      const char* cut = begin + (recordEnd - chunkOffset);
      if (open_.empty()) {
        Add(p, cut);
      } else {
        open_.append(p, cut);
        Add(open_.data(), open_.data() + open_.size());
        open_.clear();
      }
      p = cut;
    }
    open_.append(p, end);
  }

  void Finish() {
    ends_.clear();
    scanner_.Finish(ends_);
    if (!ends_.empty()) Add(open_.data(), open_.data() + open_.size());
    std::string().swap(open_);
  }

 private:
  void Add(const char* begin, const char* end) {
    records_.emplace_back();
    RecordText(begin, end, records_.back(), lineBreaks_);
  }

  std::vector<std::string>& records_;
  TSDFRecordScanner scanner_;
  std::vector<uint64_t> ends_;           // of the current chunk
  std::string open_;                     // the start of a record that a chunk's end cut
  std::vector<const char*> lineBreaks_;  // scratch of RecordText
};

bool SplitStream(std::FILE* f, std::vector<std::string>& records) {
  // A small file needs no full-size chunk; a file that grows while read is still read whole.
  uint64_t size = FileSizeOf(f).value_or(kChunkSize);
  std::vector<char> chunk(static_cast<size_t>(std::clamp<uint64_t>(size + 1, 4096, kChunkSize)));
  TRecordSplitter splitter(records);
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) splitter.Feed(chunk.data(), chunk.data() + got);
  if (std::ferror(f)) return false;
  splitter.Finish();
  return true;
}

}  // namespace

void SplitSDF(const std::string& fileName, std::vector<std::string>& records) {
  records.clear();
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) return;
  bool ok = false;
  try {
    ok = SplitStream(f.get(), records);
  } catch (const std::exception&) {
    ok = false;
  }
  // Half a file would show the user a wrong record count: all or nothing.
  if (!ok) std::vector<std::string>().swap(records);
}

}  // namespace pelorin
