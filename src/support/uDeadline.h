// A point in time by which a caller must have its answer: every wait of a thumbnail, or of a
// command on the host's thread, counts against one.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace pelorin {

class TDeadline {
 public:
  using TClock = std::chrono::steady_clock;

  TDeadline() = default;  // none: nothing is cut short
  static TDeadline In(uint32_t ms) {
    TDeadline deadline;
    deadline.at_ = TClock::now() + std::chrono::milliseconds(ms);
    return deadline;
  }
  // The earlier of two deadlines (either may be none).
  static TDeadline Earlier(const TDeadline& a, const TDeadline& b) {
    if (!a.at_) return b;
    if (!b.at_) return a;
    return *a.at_ <= *b.at_ ? a : b;
  }
  bool IsSet() const { return at_.has_value(); }
  bool Passed() const { return at_ && TClock::now() >= *at_; }
  // Milliseconds left (0 once passed); UINT32_MAX when none is set.
  uint32_t LeftMs() const {
    if (!at_) return UINT32_MAX;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*at_ - TClock::now()).count();
    return static_cast<uint32_t>(std::clamp<int64_t>(left, 0, UINT32_MAX - 1));
  }
  // A wait of `ms`, shortened to what is left.
  uint32_t Cap(uint32_t ms) const { return std::min(ms, LeftMs()); }

 private:
  std::optional<TClock::time_point> at_;
};

}  // namespace pelorin
