// Threads that keep the plugin's module loaded until they end.
#include "support/uModuleThread.h"

#ifdef _WIN32
#include <memory>

#include "support/uGuard.h"

namespace pelorin {
namespace {

struct TModuleThreadWork {
  std::function<void()> Work;
  const char* Entry = nullptr;
  HMODULE Module = nullptr;
};

DWORD WINAPI ModuleThreadEntry(void* parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<TModuleThreadWork> work(static_cast<TModuleThreadWork*>(parameter));
    module = work->Module;
    TryGuarded(work->Entry, [&work] { work->Work(); });
  }
  // Returning would run code of a module that this very call may unload.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

TUniqueHandle StartModuleThread(std::function<void()> work, const char* entry, size_t stackBytes) {
  auto context = std::make_unique<TModuleThreadWork>();
  context->Work = std::move(work);
  context->Entry = entry;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ModuleThreadEntry),
                          &context->Module))
    return TUniqueHandle();
  TUniqueHandle thread(
      CreateThread(nullptr, stackBytes, &ModuleThreadEntry, context.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    FreeLibrary(context->Module);
    return thread;
  }
  context.release();  // the thread's from here
  return thread;
}

}  // namespace pelorin
#endif  // _WIN32
