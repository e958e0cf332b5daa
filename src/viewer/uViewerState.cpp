// The viewer window's state: made and freed through the window, kept alive by its handlers.
#include "viewer/uViewerState.h"

#include "render/uGLContext.h"
#include "viewer/uLoadThread.h"
#include "viewer/uRecordPass.h"

namespace pelorin {

TPelorinState::TPelorinState() = default;
TPelorinState::~TPelorinState() = default;

THeldState::THeldState(TPelorinState* state) : state_(state) {
  if (state_) ++state_->holds_;
}

THeldState::~THeldState() {
  if (state_ && --state_->holds_ == 0 && state_->closed_) delete state_;
}

TPelorinState* StateOf(HWND wnd) {
  return wnd ? reinterpret_cast<TPelorinState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA)) : nullptr;
}

TPelorinState& AttachViewerState(HWND wnd, std::unique_ptr<TPelorinState> state) {
  TPelorinState* owned = state.release();  // freed by CloseViewerState
  SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned));
  return *owned;
}

void CloseViewerState(HWND wnd) {
  TPelorinState* state = StateOf(wnd);
  if (!state) return;
  SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  state->closed_ = true;
  if (state->holds_ == 0) delete state;
}

void WaitHandlingSentMessages(HANDLE handle) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // dispatches sent messages
  }
}

bool WaitWhileOpen(const TPelorinState& state, HANDLE handle) {
  WaitHandlingSentMessages(handle);
  return state.Open();
}

}  // namespace pelorin
