// The state of one viewer window and its lifetime. The window owns it from its creation; its
// destruction ends what the state runs at once but frees the state only when the outermost
// handler of the window returns, so a handler that waited (for a load, a dialog, a search, in
// which any message may close the window) still holds a valid state and asks it whether the
// window is still open.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/uRecordIndex.h"
#include "formats/uRecordSearch.h"
#include "model3d/uAtomModel.h"
#include "render/uViewValues.h"
#include "support/uConfig.h"
#include "support/uStopToken.h"
#include "viewer/uShownView.h"
#include "viewer/uViewCache.h"

namespace pelorin {

class TLoadThread;
class TRecordPass;
class TWindowGL;

// Everything one viewer window owns, reached through its user-data slot.
struct TPelorinState {
  TPelorinState();
  ~TPelorinState();
  TPelorinState(const TPelorinState&) = delete;
  TPelorinState& operator=(const TPelorinState&) = delete;

  HWND Wnd = nullptr;
  // The window's device context, OpenGL context and what the renderers keep in it (the models'
  // buffers, the text cache); null while GLPending, and when no context could be made (the window
  // then shows the error with GDI and loads nothing).
  std::unique_ptr<TWindowGL> GL;
  bool GLPending = false;  // WM_PELORIN_SETUP_GL is on its way
  // How the window draws atom models, told once its OpenGL context is made (SetUpGL): loads
  // started before then wait for it before they build an atom model, since the drawing decides
  // what the model holds and what it costs.
  std::promise<TAtomDrawing> AtomDrawingKnown;
  std::shared_future<TAtomDrawing> AtomDrawing = AtomDrawingKnown.get_future().share();
  std::string FileName;
  // Where the records of a multi-record file lie, filled by RecordPass while the window is open;
  // null for a file of one molecule. Loads read a record's text from the file when they need it.
  std::shared_ptr<TRecordIndex> Records;
  std::unique_ptr<TRecordPass> RecordPass;
  int32_t ShownRecord = 0;
  int32_t RecordCount = 1;         // records to step through, known so far
  bool RecordCountFinal = true;    // false while the pass still counts
  TShownView Shown;                // what the window shows (uLoadController adopts and clears it)
  std::optional<TSearchHit> Mark;  // where the last search found its text in the shown record
  std::string Notice;              // told in the navigation bar until the next key or load
  bool Dragging = false;
  int32_t LastMouseX = 0;
  int32_t LastMouseY = 0;
  TViewMode Mode = TViewMode::k2D;
  bool Loading = false;
  uint64_t LoadStartedMs = 0;  // GetTickCount64 when the running load began
  std::unique_ptr<TLoadThread> LoadThread;
  // The next record's conversion, made ahead of the step to it (StartPrefetch), and stopped
  // ones still ending; their results go to KeptViews.
  std::unique_ptr<TLoadThread> Prefetch;
  std::vector<std::unique_ptr<TLoadThread>> StoppedPrefetches;
  int32_t StepDirection = 1;  // of the last step through the records: +1 forward, -1 back
  bool PrefetchDue = false;   // the shown view is to be drawn before the next prefetch
  // The views of the last records and files shown (not the one on show).
  TViewCache KeptViews;
  TViewValues View;  // zoom, pan, rotation and headings: what the renderers draw this window with
  // The host's display parameters as last given (ListLoad's ShowFlags, then its commands).
  int ShowFlags = 0;
  bool DarkMode = false;  // the host is dark: the 2D drawing, the bar and the panel follow
  // While the host's search runs (SearchInWindow): its stop, which the next key asks.
  TStopSource* SearchStop = nullptr;

  // False once the window is destroyed: its loads are stopped and its drawing state is gone.
  bool Open() const { return !closed_; }

 private:
  friend class THeldState;
  friend void CloseViewerState(HWND wnd);
  int holds_ = 0;  // handlers of the window that run now, nested
  bool closed_ = false;
};

// Keeps a window's state alive while a handler of the window runs: the last hold of a closed
// window's state frees it. Every way into a window's state (the window procedure, the host's
// commands) goes through one.
class THeldState {
 public:
  explicit THeldState(TPelorinState* state);
  ~THeldState();
  THeldState(const THeldState&) = delete;
  THeldState& operator=(const THeldState&) = delete;

  TPelorinState* get() const { return state_; }
  TPelorinState* operator->() const { return state_; }
  TPelorinState& operator*() const { return *state_; }
  // A state whose window is open.
  explicit operator bool() const { return state_ && state_->Open(); }

 private:
  TPelorinState* state_;
};

// The state of a viewer window, or null before creation gave it one / after its destruction.
TPelorinState* StateOf(HWND wnd);
// Gives the window its state; from here on the window owns it (CloseViewerState frees it).
TPelorinState& AttachViewerState(HWND wnd, std::unique_ptr<TPelorinState> state);
// The window is being destroyed: takes its state out of the window, marks it closed and frees it
// now or, while a handler holds it, when the last hold ends. The caller has ended what it runs.
void CloseViewerState(HWND wnd);

// Waits for `handle` while handling the messages other threads send to this thread (a thread
// that sends to a window of ours must not wait for us forever). One of them may close the
// window: true when it is still open.
[[nodiscard]] bool WaitWhileOpen(const TPelorinState& state, HANDLE handle);
// The same wait, for a caller that holds no window.
void WaitHandlingSentMessages(HANDLE handle);

}  // namespace pelorin
