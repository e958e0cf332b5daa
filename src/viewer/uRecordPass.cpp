// The pass that counts a viewer window's records on a thread of its own.
#include "viewer/uRecordPass.h"

#include <mutex>

#include "support/uDebugLog.h"
#include "support/uGuard.h"
#include "support/uModuleThread.h"
#include "support/uStopToken.h"

namespace pelorin {
namespace {

constexpr size_t kPassThreadStack = 256 * 1024;
// The window hears of new records at most this often: each message repaints its status line.
constexpr ULONGLONG kPostIntervalMs = 200;

}  // namespace

// What the window and its pass share: the index, the pass's stop, and the window to post to for as
// long as it wants to hear (the lock keeps a post from racing the window's end).
struct TRecordPass::TShared {
  std::shared_ptr<TRecordIndex> Records;
  TStopSource Stop;
  std::mutex Lock;
  HWND Wnd = nullptr;  // null once the window no longer listens

  void Post() {
    std::lock_guard<std::mutex> guard(Lock);
    if (Wnd) PostMessageA(Wnd, WM_PELORIN_RECORDS, 0, 0);
  }
};

TRecordPass::TRecordPass(HWND wnd, std::shared_ptr<TRecordIndex> records) : shared_(std::make_shared<TShared>()) {
  shared_->Records = std::move(records);
  shared_->Wnd = wnd;
}

TRecordPass::~TRecordPass() {
  {
    std::lock_guard<std::mutex> guard(shared_->Lock);
    shared_->Wnd = nullptr;
  }
  if (!thread_) return;
  Stop();
  // The pass only posts to the window, never sends, so the wait cannot deadlock; it is bounded
  // all the same, as a read the system cannot cancel would otherwise hold the host.
  if (WaitForSingleObject(thread_.get(), kRecordPassCloseWaitMs) != WAIT_OBJECT_0)
    DebugLog("TRecordPass: the pass goes on after its window closed; it will drop its result");
}

void TRecordPass::Stop() {
  shared_->Stop.RequestStop();
}

bool TRecordPass::Start() {
  std::shared_ptr<TShared> shared = shared_;
  thread_ = StartModuleThread(
      [shared] {
        TryGuarded("TRecordPass", [&shared] { Execute(shared); });
        shared->Post();  // the pass has ended, however: the count is final
      },
      "TRecordPass", kPassThreadStack);
  if (!thread_) return false;
  // Counting is background work: the host's thread and the record's conversion come first.
  SetThreadPriority(thread_.get(), THREAD_PRIORITY_BELOW_NORMAL);
  return true;
}

void TRecordPass::Execute(const std::shared_ptr<TShared>& shared) {
  TRecordIndex& records = *shared->Records;
  TRecordIndexBuilder builder(records, shared->Stop.Token());
  size_t posted = 0;
  ULONGLONG postedAt = 0;
  while (builder.Step()) {
    const size_t count = records.Count();
    // The first record at once, so that its load can start; later counts now and then.
    if (count != posted && (posted == 0 || GetTickCount64() - postedAt >= kPostIntervalMs)) {
      posted = count;
      postedAt = GetTickCount64();
      shared->Post();
    }
  }
}

}  // namespace pelorin
