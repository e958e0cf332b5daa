// The background load of one viewer window.
#include "viewer/uLoadThread.h"

#include <process.h>

#include <algorithm>
#include <chrono>

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "formats/uMolSurvey.h"
#include "model3d/uAtomModel.h"
#include "model3d/uModelChoice.h"
#include "model3d/uSurfaceBudget.h"
#include "render/uGLContext.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uGuard.h"
#include "svg/uSVGParser.h"
#include "viewer/uRecordFiles.h"

namespace pelorin {
namespace {

constexpr unsigned kLoadThreadStack = 4 * 1024 * 1024;
std::atomic<uint64_t> gNextSequence{1};

// A PDB or XYZ file is a table of its atoms: read first, they tell how many there are as a survey
// would, in one pass instead of two, and the atom model takes them as read. Not when the file's
// size leaves room for more atoms than the budget holds even as spheres (the least an atom
// model holds): the survey's count decides first then.
bool ReadsOwnAtomsAhead(const std::string& input, const TPelorinConfig& config) {
  if (config.Model3D == TModel3D::Surface || !IsAtomTable(MolFormatFromFileName(input))) return false;
  constexpr uint64_t kShortestAtomLine = 8;  // "C 0 0 0" and its line break
  const uint64_t mostAtoms = FileSizeOf(input).value_or(UINT64_MAX) / kShortestAtomLine;
  return !AtomModelOverBudget(static_cast<int64_t>(std::min<uint64_t>(mostAtoms, INT64_MAX)), TAtomDrawing::Impostors,
                              CurrentSurfaceBudget());
}

// How the window's atom models are drawn, for a load to build them so: known once the window has
// its OpenGL context, until then a promise that SetUpGL keeps.
std::shared_future<TAtomDrawing> AtomDrawingOf(TPelorinState& state) {
  if (!state.GL) return state.AtomDrawing;
  std::promise<TAtomDrawing> known;
  known.set_value(state.GL->MeshPool().AtomDrawing());
  return known.get_future().share();
}

}  // namespace

TLoadThread::TLoadThread(HWND wnd, std::string fileName, std::shared_ptr<const TRecordIndex> records, int32_t molIndex,
                         TViewMode mode, std::shared_future<TAtomDrawing> atomDrawing, TLoadPriority priority)
    : Sequence(gNextSequence++),
      MolIndex(molIndex),
      Mode(mode),
      wnd_(wnd),
      fileName_(std::move(fileName)),
      records_(std::move(records)),
      atomDrawing_(std::move(atomDrawing)),
      background_(priority == TLoadPriority::kBackground) {}

TLoadThread::~TLoadThread() {
  Terminate();
  Wait();
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

void TLoadThread::Wait() {
  if (!thread_) return;
  HANDLE h = thread_.get();
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // dispatches sent messages
  }
  thread_.reset();
}

unsigned __stdcall TLoadThread::ThreadEntry(void* self) {
  auto* load = static_cast<TLoadThread*>(self);
  TryGuarded("TLoadThread", [load] { load->Execute(); });
  load->finished_ = true;
  return 0;
}

void TLoadThread::Execute() {
  TConversionPriorityScope priority(background_);
  {
    TFileRemover recordFile("");  // gone before the result is posted
    TFailure failure;
    if (!TryGuarded(
            "TLoadThread", [&] { Load(recordFile); }, &failure)) {
      SceneReady = false;
      ErrorMsg = "Load thread exception: " + failure.Message;
    }
  }
  // The one place the result is handed over: every outcome, failures included, ends here.
  if (!Stopped()) PostResult();
}

// The record pass runs beside the load: the record's end may not have been found yet.
bool TLoadThread::WaitForRecord() {
  const TRecordRule rule = records_->Rule();
  const size_t index = static_cast<size_t>(std::max(MolIndex, 0));
  // A SMILES file is stepped only once it has more lines than a grid shows.
  const size_t needed = std::max(index, GridMaxRecords(rule)) + 1;
  while (!Stopped()) {
    const TRecordIndexState pass = records_->State();  // before the count: an ended pass has its final count
    if (ChooseRecordSource(rule, index, records_->Count(), pass) != TRecordSource::kWait) return true;
    records_->WaitForCount(needed, std::chrono::milliseconds(50));  // a stop is seen within 50 ms
  }
  return false;
}

void TLoadThread::Load(TFileRemover& recordFile) {
  DebugLogFmt("TLoadThread.Execute: mode=%s mol=%d file=[%s]", ViewModeText(Mode).c_str(), MolIndex, fileName_.c_str());
  if (records_ && !WaitForRecord()) return;
  std::string input, text;
  if (!MakeRecordInput(fileName_, records_.get(), MolIndex, input, recordFile, ErrorMsg, stop_.Token(), &text)) return;
  if (Stopped()) return;
  // The record's data come from the text read for the converter: no second read of the file.
  if (records_ && RecordsHaveDataItems(records_->Rule()) && !text.empty()) Data = ReadSDFRecordData(text);
  bool ok = Mode == TViewMode::k2D ? Load2D(input) : Load3D(input);
  if (!ok) return;
  SceneReady = true;
  DebugLogFmt("TLoadThread: scene ready, elements=%d", Scene.Count);
}

bool TLoadThread::Load2D(const std::string& input) {
  TConversionLimits limits;
  limits.Stop = stop_.Token();  // a stop ends the converter run at once
  if (!RunOBabel(input, SvgText, ErrorMsg, limits)) return false;
  if (Stopped()) return false;
  Scene = TSVGScene{};
  if (!ParseSVG(SvgText, Scene)) {
    ErrorMsg = "SVG parse failed.";
    std::string().swap(SvgText);
    return false;
  }
  return true;
}

namespace {

// A 3D conversion reads the input's first molecule only: a record's input holds one, and a file
// whose records could not be found is shown by its first; the rest is never converted. A stop of
// the load ends it at once.
TConversionLimits ShownMoleculeLimits(const TStopToken& stop) {
  TConversionLimits limits;
  limits.ExtraArgs = "-l 1";
  limits.Stop = stop;
  return limits;
}

}  // namespace

bool TLoadThread::Load3D(const std::string& input) {
  const TPelorinConfig config = ConfigSnapshot();
  TAtomArray ownAtoms;
  std::string aheadError;
  std::optional<TRecordSurvey> survey;
  if (ReadsOwnAtomsAhead(input, config) && ReadFileOwnAtoms(input, ownAtoms, aheadError))
    survey = TRecordSurvey{static_cast<int64_t>(ownAtoms.size()), true, true};
  else
    survey = SurveyFileRecord(input, 0);
  Scene = TSVGScene{};
  Scene.Width = Scene.Height = 200;
  // A surface that cannot be held is not converted at all: the converter's spheres cost about
  // 1 MB of file and more of memory for every atom. Auto draws the atoms instead of refusing.
  std::string budgetMessage;
  const bool surfaceWithinBudget = config.Model3D == TModel3D::Atoms || !SurfaceOverBudget(survey, budgetMessage);
  const TModelKind kind = ChooseModelKind(config.Model3D, config.MaxSurfaceAtoms, survey, surfaceWithinBudget);
  if (!surfaceWithinBudget) {
    DebugLog(
        std::string("SurfaceOverBudget: ") +
        (kind == TModelKind::Atoms ? "no surface conversion, the atoms are drawn instead: " : "no 3D conversion: ") +
        budgetMessage);
  }
  if (kind == TModelKind::Atoms) return LoadAtoms(input, survey, std::move(ownAtoms));
  if (!surfaceWithinBudget) {
    ErrorMsg = budgetMessage;
    return false;
  }
  return LoadSurface(input, config.Model3D == TModel3D::Auto ? TOverBudget::DrawAtoms : TOverBudget::Refuse);
}

bool TLoadThread::KnowAtomDrawing(TAtomDrawing& drawing) {
  while (atomDrawing_.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    if (Stopped()) return false;
  try {
    drawing = atomDrawing_.get();
  } catch (const std::future_error&) {
    return false;  // the window went before it knew: nothing is shown anyway
  }
  return !Stopped();
}

bool TLoadThread::LoadAtoms(const std::string& input, const std::optional<TRecordSurvey>& survey, TAtomArray atoms) {
  TAtomDrawing drawing = TAtomDrawing::Meshes;
  if (!KnowAtomDrawing(drawing)) return false;
  // Held for as long as the window shows it, like a surface: a model that the free memory
  // cannot hold is refused before its atoms are read, when the survey knows how many there are.
  if (survey && AtomModelOverBudget(survey->AtomCount, drawing, ErrorMsg)) return false;
  if (atoms.empty() && !LoadFileAtoms(input, atoms, ErrorMsg, ShownMoleculeLimits(stop_.Token()))) return false;
  if (Stopped()) return false;
  const auto count = static_cast<int64_t>(atoms.size());
  if (AtomModelOverBudget(count, drawing, ErrorMsg)) return false;
  auto model = std::make_shared<TMeshModel>();
  if (!BuildAtomModel(atoms, drawing, *model, ErrorMsg)) return false;
  model->DepthCue = WantsDepthCue(ConfigSnapshot().DepthCue, atoms.size());
  if (drawing == TAtomDrawing::Impostors)
    DebugLogFmt("TLoadThread: atom model of %lld atoms, drawn as spheres", static_cast<long long>(count));
  else
    DebugLogFmt("TLoadThread: atom model of %d atoms, %d facets", static_cast<int>(count), model->FacetCount);
  Model = std::move(model);
  return true;
}

bool TLoadThread::LoadSurface(const std::string& input, TOverBudget overBudget) {
  std::string stl;
  if (!RunOBabelSTL(input, stl, ErrorMsg, ShownMoleculeLimits(stop_.Token()))) return false;
  // Removed on every path, a failed read included: a model too large to hold would
  // otherwise leave a file of gigabytes in the temporary folder on every attempt.
  TFileRemover stlFile(stl);
  if (Stopped()) return false;
  // The survey cannot count the hydrogens --gen3d adds; the STL's own size is checked too.
  if (SurfaceFileOverBudget(stl, ErrorMsg)) {
    if (overBudget == TOverBudget::Refuse) return false;
    DebugLog("TLoadThread: " + ErrorMsg + " The atoms are drawn instead.");
    ErrorMsg.clear();
    DeleteFileIfExists(stl);
    return LoadAtoms(input, std::nullopt);
  }
  // The model is this load's own until the window takes it over, so no lock is needed
  // while it is built; the window's painting never waits for a parse.
  auto model = std::make_shared<TMeshModel>();
  std::string openError;
  if (!LoadMeshModel(*model, stl, openError)) {
    ErrorMsg = "STL parse failed: " + stl;
    return false;
  }
  Model = std::move(model);
  return true;
}

void TLoadThread::PostResult() {
  if (!wnd_ || !IsWindow(wnd_)) return;
  PostMessageA(wnd_, WM_PELORIN_LOADED, 0, static_cast<LPARAM>(Sequence));
}

void StopLoad(TPelorinState* state) {
  if (!state || !state->LoadThread) return;
  // Taken out of the state before the wait, so that a destroy handled during the wait
  // finds no load to stop a second time.
  std::unique_ptr<TLoadThread> load = std::move(state->LoadThread);
  state->Loading = false;
  load.reset();  // asks the worker to stop and waits for it; `state` may be gone after this
}

std::optional<TViewKey> ViewKeyFor(const TPelorinState& state, int32_t index, TViewMode mode) {
  const std::optional<TFileStamp> stamp = FileStampOf(state.FileName);
  if (!stamp) return std::nullopt;
  return TViewKey{state.FileName, *stamp, index, mode, ConfigGeneration()};
}

namespace {

// Kept 3D models may take the surface budget (a share of the free memory) up to a fixed cap.
uint64_t KeptModelLimit() {
  return std::min<uint64_t>(TViewCacheLimits{}.ModelBytes, CurrentSurfaceBudget());
}

// Keeps what the window shows for a step back; the window shows nothing of it afterwards.
void KeepShownView(TPelorinState& state) {
  if (!state.ShownKey || !state.SceneReady || state.Loading) return;
  TKeptView view{std::move(state.Scene), std::move(state.Model), std::move(state.Data)};
  if (view.Model) state.Views.SetModelLimit(KeptModelLimit());
  // The view shown next is taken to be of this one's size, as for a model made ahead: a model
  // that leaves no room for another beside it is not kept.
  if (!view.Model || 2 * ModelHeapBytes(*view.Model) <= KeptModelLimit())
    state.Views.Keep(*state.ShownKey, std::move(view));
  state.Scene = TSVGScene{};
  state.DarkScene.reset();
  state.Model.reset();
  state.Data = TSDFRecordData{};
  std::string().swap(state.SvgText);
  state.ShownKey.reset();
}

// The window waits for a load from here on: the loading message, its seconds counted.
void BeginWaiting(TPelorinState& state) {
  state.Loading = true;
  state.LoadStartedMs = GetTickCount64();
  SetTimer(state.Wnd, kLoadClockTimer, 1000, nullptr);
  state.SceneReady = false;
  state.ErrorMsg.clear();
  state.Scene = TSVGScene{};
  state.DarkScene.reset();
  state.Model.reset();
  state.Data = TSDFRecordData{};
  state.Mark.reset();
  state.Notice.clear();
  std::string().swap(state.SvgText);
  state.ShownKey.reset();
  state.PrefetchDue = false;
}

void ShowKeptView(TPelorinState& state, const TViewKey& key, TKeptView view) {
  state.Scene = std::move(view.Scene);
  state.DarkScene.reset();
  state.Model = std::move(view.Model);
  state.Data = std::move(view.Data);
  state.Mark.reset();
  state.Notice.clear();
  std::string().swap(state.SvgText);  // not kept with the view: an export converts it again
  state.SceneReady = true;
  state.ErrorMsg.clear();
  state.Loading = false;
  state.ShownKey = key;
  state.PrefetchDue = true;
  ResetViewAfterLoad(state.View);
  DebugLogFmt("View kept: mode=%s mol=%d drawn without the converter, elements=%d", ViewModeText(key.Mode).c_str(),
              key.Record, state.Scene.Count);
}

// A background load goes on only while it converts what the next prefetch would.
bool PrefetchStillWanted(const TPelorinState& state) {
  if (!state.Prefetch || !state.Prefetch->Key) return false;
  const int32_t next = PrefetchRecord(state.MolIndex, state.MolCount, state.StepDirection);
  const TViewKey& key = *state.Prefetch->Key;
  return next >= 0 && key.Record == next && key.Mode == state.Mode && key.Path == state.FileName;
}

// The background load of this very view becomes the shown load. True when it did, or when the
// window was closed meanwhile (`state` is then null).
bool AdoptPrefetch(TPelorinState*& state, const TViewKey& key) {
  if (!state->Prefetch || state->Prefetch->Key != key) return false;
  HWND wnd = state->Wnd;
  if (state->LoadThread) {
    StopLoad(state);
    state = StateOf(wnd);
    if (!state) return true;
    if (!state->Prefetch || state->Prefetch->Key != key) return false;
  }
  state->LoadThread = std::move(state->Prefetch);
  state->LoadThread->Promote();
  BeginWaiting(*state);
  DebugLogFmt("Prefetch: mode=%s mol=%d is shown when ready", ViewModeText(key.Mode).c_str(), key.Record);
  return true;
}

}  // namespace

bool StartLoad(TPelorinState* state, int32_t index) {
  if (!state) return false;
  // Nothing could ever be drawn: keep the window's "no OpenGL context" message on screen.
  if (!state->GL && !state->GLPending) return true;
  HWND wnd = state->Wnd;
  KeepShownView(*state);
  const std::optional<TViewKey> key = ViewKeyFor(*state, index, state->Mode);
  if (key) {
    if (std::optional<TKeptView> kept = state->Views.Take(*key)) {
      if (state->LoadThread) {
        StopLoad(state);
        state = StateOf(wnd);
        if (!state) return false;
      }
      KillTimer(wnd, kLoadClockTimer);
      ShowKeptView(*state, *key, std::move(*kept));
      if (!PrefetchStillWanted(*state)) CancelPrefetch(*state);
      return true;
    }
    if (AdoptPrefetch(state, *key)) return state != nullptr;
  }
  CancelPrefetch(*state);  // never beside a load the user waits for
  if (state->LoadThread) {
    StopLoad(state);
    state = StateOf(wnd);
    if (!state) return false;
  }
  BeginWaiting(*state);
  auto load = std::make_unique<TLoadThread>(state->Wnd, state->FileName, state->Records, index, state->Mode,
                                            AtomDrawingOf(*state));
  load->Key = key;
  if (!load->Start()) {
    state->Loading = false;
    state->ErrorMsg = "Load thread exception: the load thread could not be started";
    DebugLog("TLoadThread EXCEPTION: CreateThread: the load thread could not be started");
    return true;
  }
  state->LoadThread = std::move(load);
  return true;
}

namespace {

// A background load's result is kept for the step to it; a failure is not (the step converts
// again and shows why).
void KeepPrefetched(TPelorinState* state, std::unique_ptr<TLoadThread> load) {
  HWND wnd = state->Wnd;
  load->Wait();  // it has posted; only its last steps remain
  state = StateOf(wnd);
  if (!state) return;
  if (!load->SceneReady || !load->Key) {
    DebugLogFmt("Prefetch: mode=%s mol=%d not kept: %s", ViewModeText(load->Mode).c_str(), load->MolIndex,
                load->ErrorMsg.c_str());
    return;
  }
  TKeptView view{std::move(load->Scene), std::move(load->Model), std::move(load->Data)};
  if (view.Model) state->Views.SetModelLimit(KeptModelLimit());
  const bool kept = state->Views.Keep(*load->Key, std::move(view));
  DebugLogFmt("Prefetch: mode=%s mol=%d %s", ViewModeText(load->Mode).c_str(), load->MolIndex,
              kept ? "ready for the step to it" : "not kept: larger than the budget");
}

}  // namespace

void TakeOverLoad(TPelorinState* state, LPARAM sequence) {
  if (!state || sequence == 0) return;
  if (state->Prefetch && state->Prefetch->Sequence == static_cast<uint64_t>(sequence)) {
    KeepPrefetched(state, std::move(state->Prefetch));
    return;
  }
  if (!state->LoadThread || state->LoadThread->Sequence != static_cast<uint64_t>(sequence)) return;
  HWND wnd = state->Wnd;
  // Owned by this frame from here: messages handled during the wait below may close the
  // window or start another load, and neither may free this thread under our feet.
  std::unique_ptr<TLoadThread> load = std::move(state->LoadThread);
  load->Wait();  // it has posted; only its last steps remain
  state = StateOf(wnd);
  if (!state || state->LoadThread) return;  // window gone, or a newer load has begun
  state->Scene = std::move(load->Scene);
  state->DarkScene.reset();
  state->SvgText = std::move(load->SvgText);
  state->SceneReady = load->SceneReady;
  state->ErrorMsg = load->ErrorMsg;
  state->Model = std::move(load->Model);
  state->Data = std::move(load->Data);
  state->ShownKey = load->SceneReady ? load->Key : std::nullopt;
  state->PrefetchDue = true;
  ResetViewAfterLoad(state->View);
  state->Loading = false;
  load.reset();
  DebugLogFmt("WM_PELORIN_LOADED: SceneReady=%s elements=%d", state->SceneReady ? "True" : "False", state->Scene.Count);
  InvalidateRect(state->Wnd, nullptr, FALSE);
}

void StartPrefetch(TPelorinState* state) {
  if (!state || !state->GL || state->Loading || state->LoadThread || state->PrefetchDue) return;
  auto& stopped = state->StoppedPrefetches;
  stopped.erase(std::remove_if(stopped.begin(), stopped.end(), [](const auto& load) { return load->Finished(); }),
                stopped.end());
  const int32_t index = PrefetchRecord(state->MolIndex, state->MolCount, state->StepDirection);
  if (index < 0) return;
  const std::optional<TViewKey> key = ViewKeyFor(*state, index, state->Mode);
  if (!key) return;
  if (state->Prefetch) {
    if (state->Prefetch->Key == key) return;
    CancelPrefetch(*state);
  }
  if (state->Views.Holds(*key)) return;
  // A model made ahead must fit beside those kept and the shown one, whose size it is taken to
  // have, within the surface budget.
  if (state->Mode == TViewMode::k3D) {
    const uint64_t shown = state->Model ? ModelHeapBytes(*state->Model) : 0;
    if (state->Views.ModelBytes() + 2 * shown > KeptModelLimit()) return;
  }
  auto load = std::make_unique<TLoadThread>(state->Wnd, state->FileName, state->Records, index, state->Mode,
                                            AtomDrawingOf(*state), TLoadPriority::kBackground);
  load->Key = key;
  DebugLogFmt("Prefetch: mode=%s mol=%d started", ViewModeText(state->Mode).c_str(), index);
  if (load->Start()) state->Prefetch = std::move(load);
}

void CancelPrefetch(TPelorinState& state) {
  if (!state.Prefetch) return;
  DebugLogFmt("Prefetch: mode=%s mol=%d cancelled", ViewModeText(state.Prefetch->Mode).c_str(),
              state.Prefetch->MolIndex);
  state.Prefetch->Terminate();
  state.StoppedPrefetches.push_back(std::move(state.Prefetch));
}

void ForgetKeptViews(TPelorinState& state) {
  CancelPrefetch(state);
  state.Views.Clear();
  state.ShownKey.reset();
}

void EndBackgroundLoads(TPelorinState& state) {
  CancelPrefetch(state);
  // Each waits for its worker, whose converter was ended at once.
  std::vector<std::unique_ptr<TLoadThread>> stopped = std::move(state.StoppedPrefetches);
  stopped.clear();
}

}  // namespace pelorin
