// Record index of an SDF or SMILES file: one streaming pass finds the records' ends; texts are read on demand.
#include "formats/uRecordIndex.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace pelorin {

namespace {

std::string ReasonFromErrno(int error) {
  return error != 0 ? std::strerror(error) : "read error";
}

// The message of a failed read; never throws, since it also reports running out of memory.
std::string ErrorText(const std::string& fileName, const std::string& reason) noexcept {
  try {
    return "Cannot read " + fileName + ": " + reason;
  } catch (const std::exception&) {
    return std::string();
  }
}

}  // namespace

TRecordIndex::TRecordIndex(std::string fileName, TRecordRule rule) : fileName_(std::move(fileName)), rule_(rule) {}

bool TRecordIndex::WaitForCount(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  grown_.wait_for(lock, timeout, [&] { return Count() >= count || State() != TRecordIndexState::kBuilding; });
  return Count() >= count;
}

std::string TRecordIndex::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

uint64_t TRecordIndex::EndOf(size_t index) const {
  return blocks_[index / kBlockSize][index % kBlockSize];
}

bool TRecordIndex::RecordRange(size_t index, uint64_t& start, uint64_t& end) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= Count()) return false;
  start = index == 0 ? 0 : EndOf(index - 1);
  end = EndOf(index);
  return true;
}

size_t TRecordIndex::MemoryBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size() * kBlockSize * sizeof(uint64_t) + blocks_.capacity() * sizeof(blocks_[0]);
}

void TRecordIndex::Append(const std::vector<uint64_t>& ends) {
  if (ends.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    AppendLocked(ends);
  }
  grown_.notify_all();
}

void TRecordIndex::AppendLocked(const std::vector<uint64_t>& ends) {
  size_t count = Count();
  for (uint64_t end : ends) {
    if (count % kBlockSize == 0) {
      if (blocks_.size() == blocks_.capacity()) blocks_.reserve(std::max<size_t>(16, 2 * blocks_.size()));
      blocks_.emplace_back(new uint64_t[kBlockSize]);  // left unwritten: pages are touched as it fills
    }
    blocks_[count / kBlockSize][count % kBlockSize] = end;
    // Published one by one: should the next block fail to come, what is stored stays usable.
    count_.store(++count, std::memory_order_release);
  }
}

void TRecordIndex::End(TRecordIndexState state, std::string error, const std::vector<uint64_t>& lastEnds,
                       bool lastUnmarked) {
  {
    // The file's last record and what is known of its end appear together to readers.
    std::lock_guard<std::mutex> lock(mutex_);
    AppendLocked(lastEnds);
    error_ = std::move(error);
    reachedEnd_ = state == TRecordIndexState::kComplete;
    lastUnmarked_ = lastUnmarked;
    // Under the lock, so that a waiter between its test and its sleep cannot miss the end.
    state_.store(state, std::memory_order_release);
  }
  grown_.notify_all();
}

bool TRecordIndex::ReadRecord(size_t index, std::string& text, std::string& error) const {
  text.clear();
  error.clear();
  TRecordShape record;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= Count()) {
      error = "Record index out of range";
      return false;
    }
    record.Start = index == 0 ? 0 : EndOf(index - 1);
    record.End = EndOf(index);
    record.EndsFile = reachedEnd_ && index + 1 == Count();
    record.Unmarked = record.EndsFile && lastUnmarked_;
  }
  bool outOfMemory = false;
  try {
    if (ReadRange(record, text, error)) return true;
  } catch (const std::exception&) {  // bad_alloc or length_error: a record too large for memory
    outOfMemory = true;
  }
  std::string().swap(text);
  if (outOfMemory) error = ErrorText(fileName_, "not enough memory for record " + std::to_string(index + 1));
  return false;
}

bool TRecordIndex::ReadRange(const TRecordShape& record, std::string& text, std::string& error) const {
  auto fail = [&](const std::string& reason) {
    error = ErrorText(fileName_, reason);
    return false;
  };
  if (record.End - record.Start > std::numeric_limits<size_t>::max() / 2) throw std::length_error("record");
  // With the byte before it, which must be the previous record's last line break.
  const uint64_t from = record.Start == 0 ? 0 : record.Start - 1;
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName_);
  if (!f) return fail(ReasonFromErrno(errno));
  if (!SeekFile(f.get(), from)) return fail(ReasonFromErrno(errno));
  std::string raw(static_cast<size_t>(record.End - from), '\0');
  size_t got = std::fread(raw.data(), 1, raw.size(), f.get());
  if (got != raw.size()) {
    return fail(std::ferror(f.get()) ? ReasonFromErrno(errno)
                                     : "the file is shorter than when its records were counted");
  }
  f.reset();
  const char* begin = raw.data() + (record.Start - from);
  const char* end = raw.data() + raw.size();
  if (!IsRecordStill(record, raw.data(), begin, end))
    return fail("the file has changed since its records were counted");
  std::vector<const char*> lineBreaks;
  DeliverRecordText(rule_, begin, end, text, lineBreaks);
  return true;
}

// The bytes read must still form exactly this record, so that a file rewritten since the pass
// gives an error rather than another record's lines or half of two.
bool TRecordIndex::IsRecordStill(const TRecordShape& record, const char* before, const char* begin,
                                 const char* end) const {
  if (before < begin && !IsLineBreak(*before)) return false;
  if (!record.EndsFile && !IsLineBreak(end[-1])) return false;  // only the file's end cuts a line
  TRecordScanner scanner(rule_);
  std::vector<uint64_t> ends;
  scanner.Feed(begin, end, ends);
  bool unmarked = scanner.Finish(ends);
  return ends.size() == 1 && ends[0] == static_cast<uint64_t>(end - begin) && unmarked == record.Unmarked;
}

TRecordIndexBuilder::TRecordIndexBuilder(TRecordIndex& index, size_t chunkSize)
    : index_(index), chunkSize_(std::max<size_t>(chunkSize, 1)), scanner_(index.Rule()) {}

TRecordIndexBuilder::~TRecordIndexBuilder() {
  if (!ended_) End(TRecordIndexState::kCancelled);
}

bool TRecordIndexBuilder::End(TRecordIndexState state, std::string error) {
  bool lastUnmarked = false;
  ends_.clear();
  if (state == TRecordIndexState::kComplete) lastUnmarked = scanner_.Finish(ends_);
  file_.reset();  // the file is free for others as soon as the pass ends
  std::vector<char>().swap(chunk_);
  index_.End(state, std::move(error), ends_, lastUnmarked);
  ended_ = true;
  return false;
}

bool TRecordIndexBuilder::Fail(const std::string& reason) {
  return End(TRecordIndexState::kFailed, ErrorText(index_.FileName(), reason));
}

bool TRecordIndexBuilder::Open() {
  errno = 0;
  file_ = OpenReadDenyWrite(index_.FileName());
  if (!file_) return false;
  chunk_.resize(PieceSizeFor(file_.get(), chunkSize_));
  return true;
}

bool TRecordIndexBuilder::Step() {
  if (ended_) return false;
  try {
    if (index_.CancelRequested()) return End(TRecordIndexState::kCancelled);
    if (!file_ && !Open()) return Fail(ReasonFromErrno(errno));
    errno = 0;
    size_t got = std::fread(chunk_.data(), 1, chunk_.size(), file_.get());
    if (got == 0) {
      if (std::ferror(file_.get())) return Fail(ReasonFromErrno(errno));
      return End(TRecordIndexState::kComplete);
    }
    ends_.clear();
    scanner_.Feed(chunk_.data(), chunk_.data() + got, ends_);
    index_.Append(ends_);
    return true;
  } catch (const std::exception&) {  // bad_alloc: the records stored so far stay usable
    file_.reset();
    std::vector<char>().swap(chunk_);  // room for the message
    return Fail("not enough memory");
  }
}

TRecordIndexState BuildRecordIndex(TRecordIndex& index, const std::function<void(const TRecordIndex&)>& onRecords,
                                   size_t chunkSize) {
  TRecordIndexBuilder builder(index, chunkSize);
  size_t reported = 0;
  while (builder.Step()) {
    if (onRecords && index.Count() != reported) {
      reported = index.Count();
      onRecords(index);
    }
  }
  if (onRecords) onRecords(index);
  return index.State();
}

}  // namespace pelorin
