// Record index of a multi-record file (SDF records, SMILES lines, MOL2 molecules, XYZ blocks,
// PDB models, CML molecules): where each record ends, found in one streaming pass, so that a
// library of any size opens at once and a record's text is read from the file when it is needed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "formats/uRecordScan.h"
#include "formats/uTextScan.h"
#include "support/uFileIO.h"
#include "support/uStopToken.h"

namespace pelorin {

enum class TRecordIndexState : uint8_t {
  kBuilding,   // the pass is under way (or has not begun): Count() may still grow
  kComplete,   // the pass reached the end of the file: Count() is final
  kCancelled,  // the pass's stop token stopped it: the records known stay readable
  kFailed,     // the file could not be read (Error() says why): the records known stay readable
};

// How a record is read: not at all when it is larger than `MaxBytes`, and in pieces, `Stop`
// looked at before each: once it stops, the read ends (kCancelled).
struct TRecordReadLimits {
  uint64_t MaxBytes = UINT64_MAX;
  TStopToken Stop;
};
enum class TRecordRead : uint8_t { kRead, kTooLarge, kCancelled, kFailed };

// The records of one file as byte ranges, 8 bytes a record, cut by the file's record rule
// (uRecordScan). The pass reads the file shared: others may write, rename or delete it meanwhile.
// One thread builds it (TRecordIndexBuilder or BuildRecordIndex, stopped by the token it is given)
// while others read it: Count() and State() are lock-free atomics; the offsets and the error text
// are behind a mutex, so a record can be read as soon as its end is known, before the pass ends.
class TRecordIndex {
 public:
  explicit TRecordIndex(std::string fileName, TRecordRule rule = TRecordRule::kSDF);
  TRecordIndex(const TRecordIndex&) = delete;
  TRecordIndex& operator=(const TRecordIndex&) = delete;

  const std::string& FileName() const { return fileName_; }
  TRecordRule Rule() const { return rule_; }
  // Records known so far; final once State() is kComplete.
  size_t Count() const { return count_.load(std::memory_order_acquire); }
  TRecordIndexState State() const { return state_.load(std::memory_order_acquire); }
  bool Complete() const { return State() == TRecordIndexState::kComplete; }
  // Why the pass failed; empty unless State() is kFailed.
  std::string Error() const;

  // Waits until at least `count` records are known or the pass has ended, for at most
  // `timeout`; true when the records are known.
  bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;

  // The bytes [start, end) of record `index` in the file; false when index >= Count().
  [[nodiscard]] bool RecordRange(size_t index, uint64_t& start, uint64_t& end) const;
  // Reads record `index` from the file and gives its text as DeliverRecordText delivers it. On
  // failure (index not known, file unreadable, changed or shortened since the pass, out of
  // memory) returns false with `error` set and `text` empty.
  [[nodiscard]] bool ReadRecord(size_t index, std::string& text, std::string& error) const {
    return ReadRecordWithin(index, {}, text, error) == TRecordRead::kRead;
  }
  // The same within `limits`: kTooLarge (nothing read) or kCancelled, with `error` set, when they
  // stopped it.
  [[nodiscard]] TRecordRead ReadRecordWithin(size_t index, const TRecordReadLimits& limits, std::string& text,
                                             std::string& error) const;

  // Heap bytes the offsets take: 8 a record, plus at most one partly filled block.
  size_t MemoryBytes() const;

 private:
  friend class TRecordIndexBuilder;
  static constexpr size_t kBlockSize = 8192;  // offsets per block: 64 KB, never moved once made

  struct TRecordShape {
    uint64_t Start = 0, End = 0;
    bool EndsFile = false;  // the file's last record: its last line may lack a break
    bool Unmarked = false;  // ... or its end mark
  };

  void Append(const std::vector<uint64_t>& ends);
  void AppendLocked(const std::vector<uint64_t>& ends);
  void End(TRecordIndexState state, std::string error, const std::vector<uint64_t>& lastEnds, bool lastUnmarked);
  uint64_t EndOf(size_t index) const;  // with mutex_ held
  TRecordRead ReadRange(const TRecordShape& record, const TRecordReadLimits& limits, std::string& text,
                        std::string& error) const;
  bool IsRecordStill(const TRecordShape& record, const char* before, const char* begin, const char* end) const;

  const std::string fileName_;
  const TRecordRule rule_;
  mutable std::mutex mutex_;
  mutable std::condition_variable grown_;            // records added or the pass ended
  std::vector<std::unique_ptr<uint64_t[]>> blocks_;  // the end of each record, in file order
  bool reachedEnd_ = false;                          // the pass found the end of the file, after the last record
  bool lastUnmarked_ = false;                        // the file ended before the last record's end mark
  std::string error_;
  std::atomic<size_t> count_{0};
  std::atomic<TRecordIndexState> state_{TRecordIndexState::kBuilding};
};

// The pass that fills an index, one chunk per Step(), so the caller can act on the first
// records (convert record 0) long before the end of a large file. Used by one thread; one
// builder per index. Once `stop` stops, a read under way ends (on Windows at once, as far as the
// system can cancel it; elsewhere with the read) and the pass ends kCancelled; a builder dropped
// before the end leaves the index kCancelled too.
class TRecordIndexBuilder {
 public:
  explicit TRecordIndexBuilder(TRecordIndex& index, const TStopToken& stop = {}, size_t chunkSize = kReadChunkSize);
  ~TRecordIndexBuilder();
  TRecordIndexBuilder(const TRecordIndexBuilder&) = delete;
  TRecordIndexBuilder& operator=(const TRecordIndexBuilder&) = delete;

  // Reads and indexes the next chunk (opening the file on the first call). Returns false once
  // the pass is over; the index's State() tells how it ended.
  bool Step();
  // The bytes of the file read so far.
  uint64_t BytesRead() const { return bytesRead_; }

 private:
  bool Open();
  bool Fail(const std::string& reason);
  bool End(TRecordIndexState state, std::string error = {});

  TRecordIndex& index_;
  const TStopToken stop_;
  const size_t chunkSize_;
  std::unique_ptr<TSignalledReader> file_;
  uint64_t bytesRead_ = 0;
  std::vector<char> chunk_;
  TRecordScanner scanner_;
  std::vector<uint64_t> ends_;  // found in the current chunk
  bool ended_ = false;
};

// The whole pass in one call, until it ends or `stop` stops it. `onRecords` (optional) runs on
// this thread after each chunk that found records and once at the end, so that a caller can
// publish the count as it grows.
TRecordIndexState BuildRecordIndex(TRecordIndex& index, const TStopToken& stop = {},
                                   const std::function<void(const TRecordIndex&)>& onRecords = {},
                                   size_t chunkSize = kReadChunkSize);

// Record `index` of a file cut by `rule`, for a caller that holds no index of the file: a pass
// finds it reading at most `scanLimit` bytes (kTooLarge when it ends further on), then it is read
// within `limits` (whose stop token stops the pass too). kFailed with `error` set when the file
// cannot be read or holds no such record.
[[nodiscard]] TRecordRead ReadFileRecord(const std::string& fileName, TRecordRule rule, size_t index,
                                         uint64_t scanLimit, const TRecordReadLimits& limits, std::string& text,
                                         std::string& error);

// True when record `index` is all of the file and its converter input would hold the file's own
// text (its row's WholeFileInput): the file then is that input, and a large record is neither
// copied nor read twice.
bool RecordIsWholeFileInput(const TRecordIndex& records, size_t index);

}  // namespace pelorin
