// The one guard at every way into the plugin: floating-point masks for the call, no exception
// past it, and one log line naming the entry and the failure.
#pragma once

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

#include "support/uFloatMask.h"

namespace pelorin {

// What a caught failure was: its class (demangled where the runtime can) and its message.
// "unknown" / "unknown failure" for something that is not a std::exception.
struct TFailure {
  std::string Kind;
  std::string Message;
};

// Describes `e` (or the unknown failure when null) and logs "<entry> EXCEPTION: <kind>: <message>".
// Never throws: the description is left empty when even that runs out of memory.
void LogEntryFailure(const char* entry, const std::exception* e, TFailure* failure) noexcept;

// Runs body(); true when it returned normally. A failure is logged once under `entry` and, when
// `failure` is given, described there. Floating-point exceptions are masked for the call on
// Windows: the masks belong to the thread, and the host's threads may have them unmasked.
template <typename TBody>
bool TryGuarded(const char* entry, TBody&& body, TFailure* failure = nullptr) noexcept {
#ifdef _WIN32
  TFloatMaskScope floatMask;
#endif
  try {
    std::forward<TBody>(body)();
    return true;
  } catch (const std::exception& e) {
    LogEntryFailure(entry, &e, failure);
  } catch (...) {
    LogEntryFailure(entry, nullptr, failure);
  }
  return false;
}

// body()'s result, or `fallback` when it failed (logged as TryGuarded logs it).
template <typename TResult, typename TBody>
TResult RunGuarded(const char* entry, TResult fallback, TBody&& body) noexcept {
  static_assert(std::is_nothrow_move_assignable_v<TResult>, "the result must be handed back without throwing");
  TResult result = fallback;
  TryGuarded(entry, [&] { result = std::forward<TBody>(body)(); });
  return result;
}

}  // namespace pelorin
