// The window's side of its loads: kept views, the view made ahead, and the shown load.
#include "viewer/uLoadController.h"

#include <algorithm>
#include <future>
#include <utility>

#include "model3d/uSurfaceBudget.h"
#include "render/uGLContext.h"
#include "support/uDebugLog.h"
#include "viewer/uLoadThread.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

// How the window's atom models are drawn, for a load to build them so: known once the window has
// its OpenGL context, until then a promise that SetUpGL keeps.
std::shared_future<TAtomDrawing> AtomDrawingOf(TPelorinState& state) {
  if (!state.GL) return state.AtomDrawing;
  std::promise<TAtomDrawing> known;
  known.set_value(state.GL->Resources().AtomDrawing());
  return known.get_future().share();
}

TLoadRequest RequestFor(TPelorinState& state, int32_t index) {
  return TLoadRequest{state.FileName, state.Records, index, state.Mode, AtomDrawingOf(state)};
}

// Kept 3D models may take the surface budget (a share of the free memory) up to a fixed cap.
uint64_t KeptModelLimit() {
  return std::min<uint64_t>(TViewCacheLimits{}.ModelBytes, CurrentSurfaceBudget());
}

// The one place the shown view is replaced: `view` is on show from here on. `loading`: a load the
// user waits for follows (the loading message, its seconds counted); otherwise `view` is final,
// drawn (or its error told) as it is, and the next record may be made ahead once it is drawn.
void Adopt(TPelorinState& state, TShownView view, bool loading) {
  if (!view.Ready) view.Key.reset();  // a failure is never kept
  view.DarkScene.reset();
  state.Shown = std::move(view);
  state.Loading = loading;
  state.PrefetchDue = !loading;
  if (loading) {
    state.LoadStartedMs = GetTickCount64();
    SetTimer(state.Wnd, kLoadClockTimer, 1000, nullptr);
  } else {
    KillTimer(state.Wnd, kLoadClockTimer);
    ResetViewAfterLoad(state.View);
  }
}

// Keeps what the window shows for a step back; the window shows nothing of it afterwards.
void KeepShownView(TPelorinState& state) {
  if (!state.Shown.Key || !state.Shown.Ready || state.Loading) return;
  const TViewKey key = *state.Shown.Key;
  TKeptView view = std::exchange(state.Shown, TShownView{}).TakeKept();
  if (view.Model) state.KeptViews.SetModelLimit(KeptModelLimit());
  // The view shown next is taken to be of this one's size, as for a model made ahead: a model
  // that leaves no room for another beside it is not kept.
  if (!view.Model || 2 * ModelHeapBytes(*view.Model) <= KeptModelLimit()) state.KeptViews.Keep(key, std::move(view));
}

void ShowKeptView(TPelorinState& state, const TViewKey& key, TKeptView view) {
  Adopt(state, TShownView(std::move(view), key), false);
  DebugLogFmt("View kept: mode=%s mol=%d drawn without the converter, elements=%d", ViewModeText(key.Mode).c_str(),
              key.Record, state.Shown.Scene.Count);
}

// A background load goes on only while it converts what the next prefetch would.
bool PrefetchStillWanted(const TPelorinState& state) {
  if (!state.Prefetch || !state.Prefetch->Key) return false;
  const int32_t next = PrefetchRecord(state.ShownRecord, state.RecordCount, state.StepDirection);
  const TViewKey& key = *state.Prefetch->Key;
  return next >= 0 && key.Record == next && key.Mode == state.Mode && key.Path == state.FileName;
}

enum class TAdoption : uint8_t { kNone, kAdopted, kClosed };

// The background load of this very view becomes the shown load.
TAdoption AdoptPrefetch(TPelorinState& state, const TViewKey& key) {
  if (!state.Prefetch || state.Prefetch->Key != key) return TAdoption::kNone;
  if (!StopLoad(state)) return TAdoption::kClosed;
  if (!state.Prefetch || state.Prefetch->Key != key) return TAdoption::kNone;  // ended meanwhile
  state.LoadThread = std::move(state.Prefetch);
  state.LoadThread->Promote();
  Adopt(state, TShownView{}, true);
  DebugLogFmt("Prefetch: mode=%s mol=%d is shown when ready", ViewModeText(key.Mode).c_str(), key.Record);
  return TAdoption::kAdopted;
}

// A background load's result is kept for the step to it; a failure is not (the step converts
// again and shows why).
void KeepPrefetched(TPelorinState& state, std::unique_ptr<TLoadThread> load) {
  if (!WaitWhileOpen(state, load->Thread())) return;  // it has posted; only its last steps remain
  const TLoadRequest& request = load->Request;
  if (!load->Result.Ready || !load->Key) {
    DebugLogFmt("Prefetch: mode=%s mol=%d not kept: %s", ViewModeText(request.Mode).c_str(), request.Record,
                load->Result.ErrorMsg.c_str());
    return;
  }
  TKeptView view = load->Result.TakeKept();
  if (view.Model) state.KeptViews.SetModelLimit(KeptModelLimit());
  const bool kept = state.KeptViews.Keep(*load->Key, std::move(view));
  DebugLogFmt("Prefetch: mode=%s mol=%d %s", ViewModeText(request.Mode).c_str(), request.Record,
              kept ? "ready for the step to it" : "not kept: larger than the budget");
}

}  // namespace

bool StopLoad(TPelorinState& state) {
  // Taken out of the state before the wait, so that a destroy handled during the wait finds no
  // load to stop a second time.
  std::unique_ptr<TLoadThread> load = std::move(state.LoadThread);
  state.Loading = false;
  load.reset();  // asks the worker to stop and waits for it
  return state.Open();
}

void ShowError(TPelorinState& state, std::string error) {
  TShownView view;
  view.ErrorMsg = std::move(error);
  Adopt(state, std::move(view), false);
  state.PrefetchDue = false;
}

std::optional<TViewKey> ViewKeyFor(const TPelorinState& state, int32_t index, TViewMode mode) {
  const std::optional<TFileStamp> stamp = FileStampOf(state.FileName);
  if (!stamp) return std::nullopt;
  return TViewKey{state.FileName, *stamp, index, mode, ConfigGeneration()};
}

bool StartLoad(TPelorinState& state, int32_t index) {
  // Nothing could ever be drawn: keep the window's "no OpenGL context" message on screen.
  if (!state.GL && !state.GLPending) return true;
  KeepShownView(state);
  state.Mark.reset();
  state.Notice.clear();
  const std::optional<TViewKey> key = ViewKeyFor(state, index, state.Mode);
  if (key) {
    if (std::optional<TKeptView> kept = state.KeptViews.Take(*key)) {
      if (!StopLoad(state)) return false;
      ShowKeptView(state, *key, std::move(*kept));
      if (!PrefetchStillWanted(state)) CancelPrefetch(state);
      return true;
    }
    const TAdoption adoption = AdoptPrefetch(state, *key);
    if (adoption != TAdoption::kNone) return adoption == TAdoption::kAdopted;
  }
  CancelPrefetch(state);  // never beside a load the user waits for
  if (!StopLoad(state)) return false;
  Adopt(state, TShownView{}, true);
  auto load = std::make_unique<TLoadThread>(state.Wnd, RequestFor(state, index), key);
  if (!load->Start()) {
    ShowError(state, "Load thread exception: the load thread could not be started");
    DebugLog("TLoadThread EXCEPTION: CreateThread: the load thread could not be started");
    return true;
  }
  state.LoadThread = std::move(load);
  return true;
}

void TakeOverLoad(TPelorinState& state, LPARAM sequence) {
  if (sequence == 0) return;
  if (state.Prefetch && state.Prefetch->Sequence == static_cast<uint64_t>(sequence)) {
    KeepPrefetched(state, std::move(state.Prefetch));
    return;
  }
  if (!state.LoadThread || state.LoadThread->Sequence != static_cast<uint64_t>(sequence)) return;
  // Owned by this frame from here: messages handled during the wait below may close the
  // window or start another load, and neither may free this thread under our feet.
  std::unique_ptr<TLoadThread> load = std::move(state.LoadThread);
  if (!WaitWhileOpen(state, load->Thread())) return;  // it has posted; only its last steps remain
  if (state.LoadThread) return;                       // a newer load has begun
  TShownView view = std::move(load->Result);
  view.Key = load->Key;
  Adopt(state, std::move(view), false);
  DebugLogFmt("WM_PELORIN_LOADED: SceneReady=%s elements=%d", state.Shown.Ready ? "True" : "False",
              state.Shown.Scene.Count);
  InvalidateRect(state.Wnd, nullptr, FALSE);
}

void StartPrefetch(TPelorinState& state) {
  if (!state.GL || state.Loading || state.LoadThread || state.PrefetchDue) return;
  auto& stopped = state.StoppedPrefetches;
  stopped.erase(std::remove_if(stopped.begin(), stopped.end(), [](const auto& load) { return load->Finished(); }),
                stopped.end());
  const int32_t index = PrefetchRecord(state.ShownRecord, state.RecordCount, state.StepDirection);
  if (index < 0) return;
  const std::optional<TViewKey> key = ViewKeyFor(state, index, state.Mode);
  if (!key) return;
  if (state.Prefetch) {
    if (state.Prefetch->Key == key) return;
    CancelPrefetch(state);
  }
  if (state.KeptViews.Holds(*key)) return;
  // A model made ahead must fit beside those kept and the shown one, whose size it is taken to
  // have, within the surface budget.
  if (state.Mode == TViewMode::k3D) {
    const uint64_t shown = state.Shown.Model ? ModelHeapBytes(*state.Shown.Model) : 0;
    if (state.KeptViews.ModelBytes() + 2 * shown > KeptModelLimit()) return;
  }
  auto load = std::make_unique<TLoadThread>(state.Wnd, RequestFor(state, index), key, TLoadPriority::kBackground);
  DebugLogFmt("Prefetch: mode=%s mol=%d started", ViewModeText(state.Mode).c_str(), index);
  if (load->Start()) state.Prefetch = std::move(load);
}

void CancelPrefetch(TPelorinState& state) {
  if (!state.Prefetch) return;
  DebugLogFmt("Prefetch: mode=%s mol=%d cancelled", ViewModeText(state.Prefetch->Request.Mode).c_str(),
              state.Prefetch->Request.Record);
  state.Prefetch->Terminate();
  state.StoppedPrefetches.push_back(std::move(state.Prefetch));
}

void ForgetKeptViews(TPelorinState& state) {
  CancelPrefetch(state);
  state.KeptViews.Clear();
  state.Shown.Key.reset();
}

void EndLoads(TPelorinState& state) {
  CancelPrefetch(state);
  (void)StopLoad(state);  // the window closes either way
  // Each waits for its worker, whose converter was ended at once.
  std::vector<std::unique_ptr<TLoadThread>> stopped = std::move(state.StoppedPrefetches);
  stopped.clear();
}

}  // namespace pelorin
