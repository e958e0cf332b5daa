// The one way work on another thread is stopped: a source asks once, and every token taken from it
// (the converter run, the record pass, a read, a search) sees the request.
#pragma once

#include <memory>

#include "support/uDeadline.h"

namespace pelorin {

class TStopToken;

// Asks the work that holds its tokens to stop: once and for good, from any thread at any time.
class TStopSource {
 public:
  TStopSource();
  TStopSource(const TStopSource&) = delete;
  TStopSource& operator=(const TStopSource&) = delete;

  void RequestStop();
  bool StopRequested() const;
  TStopToken Token() const;

  struct TState;

 private:
  std::shared_ptr<TState> state_;
};

// What the work looks at: a copy stays valid after its source is gone. A default token never
// stops; one with a deadline also stops once the deadline has passed (a caller's time limit).
class TStopToken {
 public:
  TStopToken() = default;
  // A token that stops only at `deadline`.
  static TStopToken At(const TDeadline& deadline);

  bool StopRequested() const;
  // False for a token that never stops (no source, no deadline).
  bool CanStop() const { return state_ != nullptr || deadline_.IsSet(); }
  // This token's stop, and also `deadline` (the earlier of it and the token's own).
  TStopToken AlsoAt(const TDeadline& deadline) const;
  const TDeadline& Deadline() const { return deadline_; }
#ifdef _WIN32
  // A manual-reset event its source signals when it asks, for waits beside other handles; null
  // for a token without a source (or when the system gave no event: the flag alone then).
  void* Event() const;
#endif

 private:
  friend class TStopSource;
  std::shared_ptr<const TStopSource::TState> state_;
  TDeadline deadline_;
};

}  // namespace pelorin
