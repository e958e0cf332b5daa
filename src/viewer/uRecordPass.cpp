// The pass that counts a viewer window's records on a thread of its own.
#include "viewer/uRecordPass.h"

#include <process.h>

#include "support/uGuard.h"

namespace pelorin {
namespace {

constexpr unsigned kPassThreadStack = 256 * 1024;
// The window hears of new records at most this often: each message repaints its status line.
constexpr ULONGLONG kPostIntervalMs = 200;

}  // namespace

TRecordPass::TRecordPass(HWND wnd, std::shared_ptr<TRecordIndex> records) : wnd_(wnd), records_(std::move(records)) {}

TRecordPass::~TRecordPass() {
  if (!thread_) return;
  records_->Cancel();
  // The pass only posts to the window, never sends, so a plain wait cannot deadlock.
  WaitForSingleObject(thread_.get(), INFINITE);
}

bool TRecordPass::Start() {
  uintptr_t h = _beginthreadex(nullptr, kPassThreadStack, &TRecordPass::ThreadEntry, this,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!h) return false;
  thread_.reset(reinterpret_cast<HANDLE>(h));
  // Counting is background work: the host's thread and the record's conversion come first.
  SetThreadPriority(thread_.get(), THREAD_PRIORITY_BELOW_NORMAL);
  return true;
}

unsigned __stdcall TRecordPass::ThreadEntry(void* self) {
  auto* pass = static_cast<TRecordPass*>(self);
  TryGuarded("TRecordPass", [pass] { pass->Execute(); });
  pass->Post();  // the pass has ended, however: the count is final
  return 0;
}

void TRecordPass::Execute() {
  TRecordIndexBuilder builder(*records_);
  size_t posted = 0;
  ULONGLONG postedAt = 0;
  while (builder.Step()) {
    const size_t count = records_->Count();
    // The first record at once, so that its load can start; later counts now and then.
    if (count != posted && (posted == 0 || GetTickCount64() - postedAt >= kPostIntervalMs)) {
      posted = count;
      postedAt = GetTickCount64();
      Post();
    }
  }
}

void TRecordPass::Post() {
  PostMessageA(wnd_, WM_PELORIN_RECORDS, 0, 0);
}

}  // namespace pelorin
