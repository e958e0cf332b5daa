// Portable file access by 8-bit (ANSI code page) names, with an owning handle.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "support/uStopToken.h"

namespace pelorin {

struct TFileCloser {
  void operator()(std::FILE* f) const noexcept {
    if (f) std::fclose(f);
  }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// Opens for binary reading; others may read but not write while it is open.
TFile OpenReadDenyWrite(const std::string& path);
// Opens for binary reading, shared with everyone: others may read, write, rename and delete the
// file while it is open, so that a molecule library being read stays free for the programs that
// save or move it.
TFile OpenReadShared(const std::string& path);
// Creates or truncates for binary writing.
TFile OpenWriteTruncate(const std::string& path);

// Size of an open file in bytes, or nullopt when it cannot be determined.
[[nodiscard]] std::optional<uint64_t> FileSizeOf(std::FILE* f);
[[nodiscard]] std::optional<uint64_t> FileSizeOf(const std::string& path);
// Moves an open file to a byte offset from its start; 64-bit offsets on every platform.
[[nodiscard]] bool SeekFile(std::FILE* f, uint64_t offset);

bool FileExists(const std::string& path);

// What tells one version of a file from another: its size and last write time (in the
// platform's units). A file rewritten in place gets another stamp.
struct TFileStamp {
  uint64_t Size = 0;
  int64_t WriteTime = 0;
};
inline bool operator==(const TFileStamp& a, const TFileStamp& b) {
  return a.Size == b.Size && a.WriteTime == b.WriteTime;
}
inline bool operator!=(const TFileStamp& a, const TFileStamp& b) {
  return !(a == b);
}
// The stamp of a file now; nullopt when it cannot be read.
[[nodiscard]] std::optional<TFileStamp> FileStampOf(const std::string& path);
// Deletes the file if it exists; true when no file remains.
bool DeleteFileIfExists(const std::string& path);

// Reads a whole file; nullopt when it cannot be opened or read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path);
// The first `maxBytes` bytes of a file (fewer when it is shorter); empty when it cannot be read.
std::string ReadFileHead(const std::string& path, size_t maxBytes);
// True when a new file can be created in `directory` (given with its trailing separator):
// a probe file is made and removed again.
bool CanCreateFileIn(const std::string& directory);
// Writes the bytes unchanged; on failure returns false and a reason in `error`.
[[nodiscard]] bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error);

// Writes the bytes to a sibling temporary file and moves it over `path`, so a failed
// write never leaves a truncated file behind.
[[nodiscard]] bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string& error);

// A file read from its start in pieces, opened shared (as OpenReadShared), whose read in progress
// ends when its token stops. On Windows each read is overlapped and waits for the token's event
// beside its own completion, then cancels itself, so a file on a stalled network share, or a pipe
// that never answers, cannot hold the reading thread past the stop (as far as the system can
// cancel the read). Elsewhere the token is looked at between reads.
class TSignalledReader {
 public:
  explicit TSignalledReader(TStopToken stop);
  ~TSignalledReader();
  TSignalledReader(const TSignalledReader&) = delete;
  TSignalledReader& operator=(const TSignalledReader&) = delete;

  enum class TRead : uint8_t { kData, kEnd, kCancelled, kFailed };
  // False with Error() set when the file cannot be opened.
  [[nodiscard]] bool Open(const std::string& path);
  // Reads the next bytes, at most `size`: kData with `got` > 0, or how the reading ended.
  [[nodiscard]] TRead Read(char* buffer, size_t size, size_t& got);
  // The file's size, when the system knows one (not for a pipe).
  std::optional<uint64_t> Size() const;
  // The system's reason of the last failure.
  const std::string& Error() const { return error_; }

 private:
  const TStopToken stop_;
  std::string error_;
#ifdef _WIN32
  void* file_ = nullptr;
  void* done_ = nullptr;  // the event a read signals when it completes
  uint64_t position_ = 0;
#else
  TFile file_;
#endif
};

// Deletes a file when it goes out of scope, unless released: temporary files are removed
// on every path of the operation that made them.
class TFileRemover {
 public:
  explicit TFileRemover(std::string path) : path_(std::move(path)) {}
  TFileRemover(const TFileRemover&) = delete;
  TFileRemover& operator=(const TFileRemover&) = delete;
  ~TFileRemover() {
    if (!path_.empty()) DeleteFileIfExists(path_);
  }
  void Release() { path_.clear(); }
  // Takes over another path (the old one is not deleted).
  void Reset(std::string path) { path_ = std::move(path); }

 private:
  std::string path_;
};

// Creates or truncates `path` (a converter input) and writes `recordText` unchanged. On failure
// returns false, sets `error` to "Temp file write error: " + the reason, and removes a file it
// created.
[[nodiscard]] bool WriteRecordTemp(const std::string& path, const std::string& recordText, std::string& error);

}  // namespace pelorin
