// The thread of a viewer window's load job.
#include "viewer/uLoadThread.h"

#include <process.h>

#include "convert/uConverter.h"
#include "support/uGuard.h"
#include "viewer/uViewerState.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

constexpr unsigned kLoadThreadStack = 4 * 1024 * 1024;
std::atomic<uint64_t> gNextSequence{1};

}  // namespace

TLoadThread::TLoadThread(HWND wnd, TLoadRequest request, std::optional<TViewKey> key, TLoadPriority priority)
    : Sequence(gNextSequence++),
      Request(std::move(request)),
      Key(std::move(key)),
      wnd_(wnd),
      background_(priority == TLoadPriority::kBackground) {}

TLoadThread::~TLoadThread() {
  Terminate();
  if (thread_) WaitHandlingSentMessages(thread_.get());
}

bool TLoadThread::Start() {
  uintptr_t h = _beginthreadex(nullptr, kLoadThreadStack, &TLoadThread::ThreadEntry, this,
                               CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!h) {
    finished_ = true;
    return false;
  }
  thread_.reset(reinterpret_cast<HANDLE>(h));
  if (background_) SetThreadPriority(thread_.get(), THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(thread_.get());
  return true;
}

void TLoadThread::Promote() {
  background_ = false;  // its converter follows within a moment (TConversionPriorityScope)
  if (thread_) SetThreadPriority(thread_.get(), THREAD_PRIORITY_NORMAL);
}

unsigned __stdcall TLoadThread::ThreadEntry(void* self) {
  auto* load = static_cast<TLoadThread*>(self);
  TryGuarded("TLoadThread", [load] { load->Execute(); });
  load->finished_ = true;
  return 0;
}

void TLoadThread::Execute() {
  TConversionPriorityScope priority(background_);
  TFailure failure;
  if (!TryGuarded(
          "TLoadThread", [&] { Result = RunLoadJob(Request, stop_.Token()); }, &failure)) {
    Result = TShownView{};
    Result.ErrorMsg = "Load thread exception: " + failure.Message;
  }
  // The one place the result is handed over: every outcome, failures included, ends here.
  if (!stop_.StopRequested() && wnd_ && IsWindow(wnd_))
    PostMessageA(wnd_, WM_PELORIN_LOADED, 0, static_cast<LPARAM>(Sequence));
}

}  // namespace pelorin
