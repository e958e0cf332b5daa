// Record index of a multi-record file: one streaming pass finds the records' ends; texts are read on demand.
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

TRecordRead TRecordIndex::ReadRecordWithin(size_t index, const TRecordReadLimits& limits, std::string& text,
                                           std::string& error) const {
  text.clear();
  error.clear();
  TRecordShape record;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= Count()) {
      error = "Record index out of range";
      return TRecordRead::kFailed;
    }
    record.Start = index == 0 ? 0 : EndOf(index - 1);
    record.End = EndOf(index);
    record.EndsFile = reachedEnd_ && index + 1 == Count();
    record.Unmarked = record.EndsFile && lastUnmarked_;
  }
  if (record.End - record.Start > limits.MaxBytes) {
    error = ErrorText(fileName_, "record " + std::to_string(index + 1) + " holds " +
                                     std::to_string(record.End - record.Start) + " bytes, more than " +
                                     std::to_string(limits.MaxBytes));
    return TRecordRead::kTooLarge;
  }
  bool outOfMemory = false;
  TRecordRead result = TRecordRead::kFailed;
  try {
    result = ReadRange(record, limits, text, error);
    if (result == TRecordRead::kRead) return result;
  } catch (const std::exception&) {  // bad_alloc or length_error: a record too large for memory
    outOfMemory = true;
  }
  std::string().swap(text);
  if (outOfMemory) error = ErrorText(fileName_, "not enough memory for record " + std::to_string(index + 1));
  return result;
}

TRecordRead TRecordIndex::ReadRange(const TRecordShape& record, const TRecordReadLimits& limits, std::string& text,
                                    std::string& error) const {
  auto fail = [&](const std::string& reason) {
    error = ErrorText(fileName_, reason);
    return TRecordRead::kFailed;
  };
  if (record.End - record.Start > std::numeric_limits<size_t>::max() / 2) throw std::length_error("record");
  // With the byte before it, which must be where the previous record ended.
  const uint64_t from = record.Start == 0 ? 0 : record.Start - 1;
  errno = 0;
  TFile f = OpenReadShared(fileName_);
  if (!f) return fail(ReasonFromErrno(errno));
  if (!SeekFile(f.get(), from)) return fail(ReasonFromErrno(errno));
  // In pieces, so that a record of gigabytes can be stopped.
  std::string raw(static_cast<size_t>(record.End - from), '\0');
  for (size_t at = 0; at < raw.size();) {
    if (limits.Stop.StopRequested()) {
      error = ErrorText(fileName_, "the read was stopped");
      return TRecordRead::kCancelled;
    }
    const size_t want = std::min(raw.size() - at, kReadChunkSize);
    const size_t got = std::fread(raw.data() + at, 1, want, f.get());
    if (got != want) {
      return fail(std::ferror(f.get()) ? ReasonFromErrno(errno)
                                       : "the file is shorter than when its records were counted");
    }
    at += got;
  }
  f.reset();
  const char* begin = raw.data() + (record.Start - from);
  const char* end = raw.data() + raw.size();
  if (!IsRecordStill(record, raw.data(), begin, end))
    return fail("the file has changed since its records were counted");
  std::vector<const char*> lineBreaks;
  DeliverRecordText(rule_, begin, end, text, lineBreaks);
  return TRecordRead::kRead;
}

// The bytes read must still form exactly this record, so that a file rewritten since the pass
// gives an error rather than another record's lines or half of two.
bool TRecordIndex::IsRecordStill(const TRecordShape& record, const char* before, const char* begin,
                                 const char* end) const {
  // Records of lines lie between line breaks; CML records between the '>' of tags.
  auto isBoundary = [this](char c) { return RecordsEndAtLineBreaks(rule_) ? IsLineBreak(c) : c == '>'; };
  if (before < begin && !isBoundary(*before)) return false;
  if (!record.EndsFile && !isBoundary(end[-1])) return false;  // only the file's end cuts a line
  TRecordScanner scanner(rule_);
  std::vector<uint64_t> ends;
  scanner.Feed(begin, end, ends);
  bool unmarked = scanner.Finish(ends);
  return ends.size() == 1 && ends[0] == static_cast<uint64_t>(end - begin) && unmarked == record.Unmarked;
}

TRecordIndexBuilder::TRecordIndexBuilder(TRecordIndex& index, const TStopToken& stop, size_t chunkSize)
    : index_(index), stop_(stop), chunkSize_(std::max<size_t>(chunkSize, 1)), scanner_(index.Rule()) {}

TRecordIndexBuilder::~TRecordIndexBuilder() {
  if (!ended_) End(TRecordIndexState::kCancelled);
}

bool TRecordIndexBuilder::End(TRecordIndexState state, std::string error) {
  bool lastUnmarked = false;
  ends_.clear();
  if (state == TRecordIndexState::kComplete) lastUnmarked = scanner_.Finish(ends_);
  file_.reset();  // closed as soon as the pass ends
  std::vector<char>().swap(chunk_);
  index_.End(state, std::move(error), ends_, lastUnmarked);
  ended_ = true;
  return false;
}

bool TRecordIndexBuilder::Fail(const std::string& reason) {
  return End(TRecordIndexState::kFailed, ErrorText(index_.FileName(), reason));
}

bool TRecordIndexBuilder::Open() {
  file_ = std::make_unique<TSignalledReader>(stop_);
  if (!file_->Open(index_.FileName())) return false;
  chunk_.resize(PieceSizeFor(file_->Size(), chunkSize_));
  return true;
}

bool TRecordIndexBuilder::Step() {
  if (ended_) return false;
  try {
    if (stop_.StopRequested()) return End(TRecordIndexState::kCancelled);
    if (!file_ && !Open()) return Fail(file_->Error());
    size_t got = 0;
    switch (file_->Read(chunk_.data(), chunk_.size(), got)) {
      case TSignalledReader::TRead::kData:
        break;
      case TSignalledReader::TRead::kEnd:
        return End(TRecordIndexState::kComplete);
      case TSignalledReader::TRead::kCancelled:
        return End(TRecordIndexState::kCancelled);
      case TSignalledReader::TRead::kFailed:
        return Fail(file_->Error());
    }
    bytesRead_ += got;
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

TRecordIndexState BuildRecordIndex(TRecordIndex& index, const TStopToken& stop,
                                   const std::function<void(const TRecordIndex&)>& onRecords, size_t chunkSize) {
  TRecordIndexBuilder builder(index, stop, chunkSize);
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

TRecordRead ReadFileRecord(const std::string& fileName, TRecordRule rule, size_t index, uint64_t scanLimit,
                           const TRecordReadLimits& limits, std::string& text, std::string& error) {
  text.clear();
  error.clear();
  TRecordIndex records(fileName, rule);
  {
    TRecordIndexBuilder builder(records, limits.Stop);
    while (records.Count() <= index && builder.Step()) {
      if (records.Count() > index || builder.BytesRead() <= scanLimit) continue;
      error = ErrorText(fileName, "record " + std::to_string(index + 1) + " does not end within the first " +
                                      std::to_string(scanLimit) + " bytes");
      return TRecordRead::kTooLarge;
    }
  }
  if (records.Count() > index) return records.ReadRecordWithin(index, limits, text, error);
  if (records.State() == TRecordIndexState::kCancelled) {
    error = ErrorText(fileName, "the read was stopped");
    return TRecordRead::kCancelled;
  }
  error = records.State() == TRecordIndexState::kFailed ? records.Error()
                                                        : ErrorText(fileName, "no record " + std::to_string(index + 1));
  return TRecordRead::kFailed;
}

namespace {

// True when the file's first line holds more than blanks (a line that fills `kLineLooked` bytes
// counts as holding some).
bool FirstLineHasText(const std::string& fileName) {
  constexpr size_t kLineLooked = 512;
  const std::string head = ReadFileHead(fileName, kLineLooked);
  for (char c : head) {
    if (c == '\n' || c == '\r') return false;
    if (c != ' ' && c != '\t') return true;
  }
  return head.size() == kLineLooked;
}

}  // namespace

bool RecordIsWholeFileInput(const TRecordIndex& records, size_t index) {
  const TWholeFileInput whole = RowOf(records.Rule()).WholeFileInput;
  if (index != 0 || whole == TWholeFileInput::kNever) return false;
  uint64_t start = 0, end = 0;
  if (!records.RecordRange(0, start, end) || start != 0 ||
      FileSizeOf(records.FileName()) != std::optional<uint64_t>(end))
    return false;
  return whole != TWholeFileInput::kIfFirstLineHasText || FirstLineHasText(records.FileName());
}

}  // namespace pelorin
