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
//
// Nearly every record lies inside one chunk: those are found first and copied once, straight
// into a string of their final size. Only a record that a chunk's end cuts goes through the
// working buffer line by line.
class TRecordSplitter {
 public:
  explicit TRecordSplitter(std::vector<std::string>& records) : records_(records) {}

  void Feed(const char* p, const char* end) {
    if (pendingCR_ && p < end) {
      pendingCR_ = false;
      if (*p == '\n') ++p;
    }
    while (p < end) {
      if (current_.empty()) {
        p = TakeWholeRecords(p, end);
        if (p == end) return;
      }
      p = TakeLines(p, end);
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
  // Takes the records that end inside [p, end) and starts at p; returns where the first
  // record not ended there starts.
  const char* TakeWholeRecords(const char* p, const char* end) {
    const char* nextLF = nullptr;
    const char* nextCR = nullptr;
    const char* recordStart = p;
    loneBreaks_.clear();
    while (p < end) {
      const char* lf = NextByte(p, end, '\n', nextLF);
      const char* cr = NextByte(p, end, '\r', nextCR);
      const char* lineBreak = std::min(lf, cr);
      // A line without its break, or a CR that may be the first half of a CR LF, is left to
      // the line by line path.
      if (lineBreak == end || lineBreak + 1 == end) break;
      bool crlf = lineBreak == cr && cr[1] == '\n';
      if (!crlf) loneBreaks_.push_back(lineBreak);
      bool recordEnd = IsRecordEnd(std::string_view(p, static_cast<size_t>(lineBreak - p)));
      p = lineBreak + (crlf ? 2 : 1);
      if (recordEnd) {
        records_.push_back(ExpandBreaks(recordStart, p));
        recordStart = p;
        loneBreaks_.clear();
      }
    }
    return recordStart;
  }

  // The text [start, end) with each break in loneBreaks_ (a lone LF or CR) written as CR LF.
  std::string ExpandBreaks(const char* start, const char* end) const {
    std::string record(static_cast<size_t>(end - start) + loneBreaks_.size(), '\0');
    char* out = record.data();
    for (const char* lineBreak : loneBreaks_) {
      size_t length = static_cast<size_t>(lineBreak - start);
      std::memcpy(out, start, length);
      out[length] = '\r';
      out[length + 1] = '\n';
      out += length + 2;
      start = lineBreak + 1;
    }
    std::memcpy(out, start, static_cast<size_t>(end - start));
    return record;
  }

  // Adds lines to the working buffer until a record ends (returns just after it) or the chunk
  // does (returns end).
  const char* TakeLines(const char* p, const char* end) {
    const char* nextLF = nullptr;
    const char* nextCR = nullptr;
    while (p < end) {
      const char* lf = NextByte(p, end, '\n', nextLF);
      const char* cr = NextByte(p, end, '\r', nextCR);
      const char* lineBreak = std::min(lf, cr);
      if (lineBreak == end) {
        current_.append(p, static_cast<size_t>(end - p));  // the line goes on in the next chunk
        return end;
      }
      bool crlf = lineBreak == cr && cr + 1 < end && cr[1] == '\n';
      if (crlf) {
        current_.append(p, static_cast<size_t>(lineBreak + 2 - p));  // already as it is stored
      } else {
        current_.append(p, static_cast<size_t>(lineBreak - p));
        current_.append("\r\n", 2);
      }
      p = lineBreak + (crlf ? 2 : 1);
      if (!crlf && lineBreak == cr && p == end) pendingCR_ = true;  // its LF may start the next chunk
      if (EndLine()) return p;
    }
    return end;
  }

  // Called when current_ ends with a whole line and its CR LF; true when that ended the record.
  bool EndLine() {
    bool recordEnd = IsRecordEnd(std::string_view(current_).substr(lineStart_, current_.size() - 2 - lineStart_));
    lineStart_ = current_.size();
    if (!recordEnd) return false;
    // Copied at its exact size: the working buffer keeps its capacity for the next record,
    // and the list holds no slack.
    records_.emplace_back(current_);
    current_.clear();
    lineStart_ = 0;
    return true;
  }

  std::vector<std::string>& records_;
  std::string current_;   // the record being read, when a chunk's end cut it
  size_t lineStart_ = 0;  // where the current line starts in current_
  bool pendingCR_ = false;
  std::vector<const char*> loneBreaks_;  // of the record being found in a chunk
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
