// The survey's machines: what each format's machine reports to the survey (formats/uMolSurvey),
// and the common shapes of one — a machine over lines, and one over the records the record
// scanner finds. Each format module holds its own machine on the rules of its reader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/uMolSurvey.h"
#include "formats/uRecordScan.h"
#include "formats/uTextScan.h"

namespace pelorin {

// A machine takes a file's bytes in pieces cut anywhere. It counts records when its target is
// negative, and surveys record `target` otherwise.
class TSurveyMachine {
 public:
  virtual ~TSurveyMachine() = default;
  TSurveyMachine(const TSurveyMachine&) = delete;
  TSurveyMachine& operator=(const TSurveyMachine&) = delete;
  // False once further bytes cannot change the answer.
  virtual bool Feed(std::string_view bytes) = 0;
  virtual void Finish() = 0;
  TMolSurvey Records() const { return TMolSurvey{records_, exact_}; }
  std::optional<TRecordSurvey> Record() const { return found_ ? std::optional<TRecordSurvey>(record_) : std::nullopt; }

 protected:
  explicit TSurveyMachine(int64_t target) : target_(target) {}
  bool Counting() const { return target_ < 0; }
  bool IsTarget(int64_t record) const { return target_ >= 0 && record == target_; }
  void Found(const TRecordSurvey& record) {
    found_ = true;
    record_ = record;
  }

  const int64_t target_;
  int64_t records_ = 0;
  bool exact_ = true;

 private:
  bool found_ = false;
  TRecordSurvey record_;
};

using TSurveyMachinePtr = std::unique_ptr<TSurveyMachine>;

// Knows nothing: an unknown format, or a record index that cannot exist.
class TNoAnswer : public TSurveyMachine {
 public:
  TNoAnswer() : TSurveyMachine(-1) { exact_ = false; }
  bool Feed(std::string_view) override { return false; }
  void Finish() override {}
};

// Counts the records the record scanner of a rule finds, so that the survey's count is the record
// index's. Stops when the bytes stop following the format (RecordCountExact false then).
class TScannedRecordCounter : public TSurveyMachine {
 public:
  TScannedRecordCounter(TRecordRule rule, size_t maxLine) : TSurveyMachine(-1), scanner_(rule, maxLine) {}
  bool Feed(std::string_view bytes) final {
    if (done_) return false;
    ends_.clear();
    scanner_.Feed(bytes.data(), bytes.data() + bytes.size(), ends_);
    records_ += static_cast<int64_t>(ends_.size());
    return !scanner_.Stopped();
  }
  void Finish() final {
    if (done_) return;
    done_ = true;
    ends_.clear();
    scanner_.Finish(ends_);
    records_ += static_cast<int64_t>(ends_.size());
    exact_ = !scanner_.Stopped();
  }

 private:
  TRecordScanner scanner_;
  std::vector<uint64_t> ends_;
  bool done_ = false;
};

// A machine over lines (each seen up to maxLine bytes): Derived has bool OnLine(const TLine&)
// (false once its answer is known) and void OnEnd() for the end of the bytes.
template <class Derived>
class TLineMachine : public TSurveyMachine {
 public:
  bool Feed(std::string_view bytes) final {
    if (done_) return false;
    done_ = !lines_.Feed(bytes, [this](const TLine& line) { return Self().OnLine(line); });
    return !done_;
  }
  void Finish() final {
    if (done_) return;
    done_ = true;
    if (lines_.Finish([this](const TLine& line) { return Self().OnLine(line); })) Self().OnEnd();
  }

 protected:
  TLineMachine(int64_t target, size_t maxLine) : TSurveyMachine(target), lines_(maxLine) {}
  bool done_ = false;  // a machine that knows its answer from the start sets it

 private:
  Derived& Self() { return static_cast<Derived&>(*this); }
  TLineSplitter lines_;
};

// A machine over the records that the record scanner of a rule finds, so that the survey's records
// are the viewer's: the count is the scanner's, and the lines of the record surveyed (its end mark
// included) go to Derived::OnRecordLine(const TLine&), which returns false once its answer is
// known and the record surely counts. Derived::RecordResult() is the answer, reported then or
// when the record ends. Outside the record surveyed only the scanner looks at the bytes.
template <class Derived>
class TScannedRecordMachine : public TSurveyMachine {
 public:
  bool Feed(std::string_view bytes) final {
    if (done_ || bytes.empty()) return !done_;
    const char* begin = bytes.data();
    const char* end = begin + bytes.size();
    const uint64_t pieceStart = offset_;
    offset_ += bytes.size();
    ends_.clear();
    scanner_.Feed(begin, end, ends_);
    if (Counting()) {
      records_ += static_cast<int64_t>(ends_.size());
      return true;
    }
    for (uint64_t recordEnd : ends_) {
      if (ended_ == target_) return EndTarget(TargetBytes(begin, pieceStart, recordEnd));
      if (++ended_ == target_) start_ = recordEnd;
    }
    if (ended_ == target_ && !FeedLines(TargetBytes(begin, pieceStart, offset_))) return Done();
    return true;
  }

  void Finish() final {
    if (done_) return;
    ends_.clear();
    scanner_.Finish(ends_);
    if (Counting()) {
      records_ += static_cast<int64_t>(ends_.size());
    } else if (ended_ == target_ && !ends_.empty()) {
      lines_.Finish([this](const TLine& line) { return Self().OnRecordLine(line); });
      Found(Self().RecordResult());
    }
    done_ = true;
  }

 protected:
  TScannedRecordMachine(int64_t target, size_t maxLine, TRecordRule rule)
      : TSurveyMachine(target), lines_(maxLine), scanner_(rule) {}

 private:
  Derived& Self() { return static_cast<Derived&>(*this); }

  // The part of the piece at `pieceStart` that belongs to the record surveyed, up to `until`.
  std::string_view TargetBytes(const char* begin, uint64_t pieceStart, uint64_t until) const {
    const uint64_t from = std::max(start_, pieceStart);
    return std::string_view(begin + (from - pieceStart), static_cast<size_t>(until - from));
  }
  bool FeedLines(std::string_view bytes) {
    return lines_.Feed(bytes, [this](const TLine& line) { return Self().OnRecordLine(line); });
  }
  bool EndTarget(std::string_view lastBytes) {
    if (FeedLines(lastBytes)) lines_.Finish([this](const TLine& line) { return Self().OnRecordLine(line); });
    return Done();
  }
  bool Done() {
    Found(Self().RecordResult());
    done_ = true;
    return false;
  }

  TLineSplitter lines_;
  TRecordScanner scanner_;
  std::vector<uint64_t> ends_;  // of the piece being fed
  uint64_t offset_ = 0;         // bytes fed so far
  int64_t ended_ = 0;           // records ended so far
  uint64_t start_ = 0;          // where the record surveyed starts, once ended_ reaches it
  bool done_ = false;
};

}  // namespace pelorin
