// Multi-record SDF files: cutting them into record texts and writing one record to a temporary input.
#include "uSDFRecords.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {

namespace {

constexpr size_t kChunkSize = 1 << 20;

// The next `c` at or after p, or end; `cached` remembers the last answer, so that a chunk
// with one kind of line break costs one search per line and one without CRs a single one.
const char* NextByte(const char* p, const char* end, char c, const char*& cached) {
  if (cached < p) {
    const void* found = std::memchr(p, c, static_cast<size_t>(end - p));
    cached = found ? static_cast<const char*>(found) : end;
  }
  return cached;
}

bool IsRecordEnd(std::string_view line) {
  size_t first = 0;
  while (first < line.size() && IsBlankChar(line[first])) ++first;
  if (first == line.size() || line[first] != '$') return false;  // nearly every line
  return TrimView(line) == "$$$$";
}

// Cuts a stream of chunks into record texts. A line may span chunks, and so may the two
// bytes of a CR LF break.
class TRecordSplitter {
 public:
  explicit TRecordSplitter(std::vector<std::string>& records) : records_(records) {}

  void Feed(const char* p, const char* end) {
    if (pendingCR_ && p < end) {
      pendingCR_ = false;
      if (*p == '\n') ++p;
    }
    const char* nextLF = nullptr;
    const char* nextCR = nullptr;
    while (p < end) {
      const char* lf = NextByte(p, end, '\n', nextLF);
      const char* cr = NextByte(p, end, '\r', nextCR);
      const char* lineBreak = std::min(lf, cr);
      if (lineBreak == end) {
        current_.append(p, static_cast<size_t>(end - p));  // the line goes on in the next chunk
        return;
      }
      bool crlf = lineBreak == cr && cr + 1 < end && cr[1] == '\n';
      if (crlf) {
        current_.append(p, static_cast<size_t>(lineBreak + 2 - p));  // already as it is stored
      } else {
        current_.append(p, static_cast<size_t>(lineBreak - p));
        current_.append("\r\n", 2);
      }
      EndLine();
      p = lineBreak + (crlf ? 2 : 1);
      if (!crlf && lineBreak == cr && p == end) pendingCR_ = true;  // its LF may start the next chunk
    }
  }

  void Finish() {
    if (current_.size() > lineStart_) {  // a last line without a break
      current_.append("\r\n", 2);
      EndLine();
    }
    if (!TrimView(current_).empty()) records_.push_back(std::move(current_));
    current_.clear();
    lineStart_ = 0;
  }

 private:
  // Called when current_ ends with a whole line and its CR LF.
  void EndLine() {
    bool recordEnd = IsRecordEnd(std::string_view(current_).substr(lineStart_, current_.size() - 2 - lineStart_));
    lineStart_ = current_.size();
    if (!recordEnd) return;
    // Copied at its exact size: the working buffer keeps its capacity for the next record,
    // and the list holds no slack.
    records_.emplace_back(current_);
    current_.clear();
    lineStart_ = 0;
  }

  std::vector<std::string>& records_;
  std::string current_;   // the record being read
  size_t lineStart_ = 0;  // where the current line starts in current_
  bool pendingCR_ = false;
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

std::string WriteErrorText() {
  return std::string("Temp file write error: ") + (errno != 0 ? std::strerror(errno) : "unknown error");
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

bool WriteRecordTemp(const std::string& path, const std::string& recordText, std::string& error) {
  error.clear();
  errno = 0;
  TFile f = OpenWriteTruncate(path);
  if (!f) {
    error = WriteErrorText();  // nothing was created, and a file we could not open stays as it was
    return false;
  }
  bool written =
      recordText.empty() || std::fwrite(recordText.data(), 1, recordText.size(), f.get()) == recordText.size();
  bool closed = std::fclose(f.release()) == 0;
  if (written && closed) return true;
  error = WriteErrorText();
  DeleteFileIfExists(path);  // a truncated record would be converted as if it were whole
  return false;
}

}  // namespace pelorin
