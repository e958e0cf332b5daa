// The stop source and its tokens.
#include "support/uStopToken.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelorin {

struct TStopSource::TState {
  TState() {
#ifdef _WIN32
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
#endif
  }
  ~TState() {
#ifdef _WIN32
    if (event) CloseHandle(event);
#endif
  }
  TState(const TState&) = delete;
  TState& operator=(const TState&) = delete;

  std::atomic<bool> requested{false};
#ifdef _WIN32
  HANDLE event = nullptr;
#endif
};

TStopSource::TStopSource() : state_(std::make_shared<TState>()) {}

void TStopSource::RequestStop() {
  state_->requested.store(true, std::memory_order_release);
#ifdef _WIN32
  if (state_->event) SetEvent(state_->event);
#endif
}

bool TStopSource::StopRequested() const {
  return state_->requested.load(std::memory_order_acquire);
}

TStopToken TStopSource::Token() const {
  TStopToken token;
  token.state_ = state_;
  return token;
}

TStopToken TStopToken::At(const TDeadline& deadline) {
  TStopToken token;
  token.deadline_ = deadline;
  return token;
}

bool TStopToken::StopRequested() const {
  return (state_ && state_->requested.load(std::memory_order_acquire)) || deadline_.Passed();
}

TStopToken TStopToken::AlsoAt(const TDeadline& deadline) const {
  TStopToken token = *this;
  token.deadline_ = TDeadline::Earlier(deadline_, deadline);
  return token;
}

#ifdef _WIN32
void* TStopToken::Event() const {
  return state_ ? state_->event : nullptr;
}
#endif

}  // namespace pelorin
