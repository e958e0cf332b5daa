// Logging of failures caught at the plugin's entries.
#include "support/uGuard.h"

#include <cstdlib>
#include <typeinfo>

#if defined(__GNUC__) || defined(__clang__)
#include <cxxabi.h>
#endif

#include "support/uDebugLog.h"

namespace pelorin {
namespace {

std::string ClassNameOf(const std::exception& e) {
  const char* raw = typeid(e).name();
#if defined(__GNUC__) || defined(__clang__)
  int status = 0;
  char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
  if (status == 0 && demangled) {
    std::string name = demangled;
    std::free(demangled);
    return name;
  }
  std::free(demangled);
#endif
  return raw;
}

}  // namespace

void LogEntryFailure(const char* entry, const std::exception* e, TFailure* failure) noexcept {
  try {
    TFailure described;
    described.Kind = e ? ClassNameOf(*e) : "unknown";
    described.Message = e ? e->what() : "unknown failure";
    DebugLog(std::string(entry) + " EXCEPTION: " + described.Kind + ": " + described.Message);
    if (failure) *failure = std::move(described);
  } catch (...) {
    // Out of memory while describing a failure: nothing more can be said.
  }
}

}  // namespace pelorin
