// The host's search in a viewer window: a searching thread over the record index, the host's
// thread waiting for it with its messages handled.
#include "viewer/uSearch.h"

#include <process.h>

#include <atomic>
#include <memory>
#include <optional>

#include "formats/uMolFormat.h"
#include "formats/uRecordSearch.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uGuard.h"
#include "support/uStopToken.h"
#include "support/uWinHandle.h"
#include "viewer/uLoadController.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

// A file without records larger than this is not searched as one text.
constexpr uint64_t kMaxWholeFileSearch = uint64_t{64} << 20;
constexpr DWORD kProgressAfterMs = 1000;
constexpr DWORD kProgressEveryMs = 250;

// One search, run on a thread of its own; everything it reads is its own or shared and immutable
// but the index, which is made for reading while it grows.
struct TSearchJob {
  std::vector<TSearchQuery> Queries;
  std::shared_ptr<const TRecordIndex> Records;  // null: the file is one record
  std::string FileName;
  size_t From = 0;
  TStopSource Stop;
  std::atomic<uint64_t> Done{0}, Total{0};
  // Results, read once the thread has ended.
  TSearchOutcome Outcome = TSearchOutcome::kNotFound;
  TSearchHit Hit;
  std::string Error;

  void Run() {
    std::optional<TSearchHit> best;
    for (const TSearchQuery& query : Queries) {
      TSearchHit hit;
      const TSearchOutcome outcome = Records ? SearchIndex(query, hit) : SearchWholeFile(query, hit);
      if (outcome == TSearchOutcome::kFound) {
        best = *NearerHit(&hit, best ? &*best : nullptr, query.Backwards);
      } else if (outcome != TSearchOutcome::kNotFound) {
        Outcome = outcome;
        return;
      }
    }
    Outcome = best ? TSearchOutcome::kFound : TSearchOutcome::kNotFound;
    if (best) Hit = *best;
  }

 private:
  TSearchOutcome SearchIndex(const TSearchQuery& query, TSearchHit& hit) {
    TSearchControl control;
    control.Stop = Stop.Token();
    control.Progress = [this](uint64_t done, uint64_t total) {
      Done = done;
      Total = total;
    };
    return SearchRecords(*Records, query, From, control, hit, Error);
  }
  // A file of one record (a MOL file): searched as one text, title and data items included.
  TSearchOutcome SearchWholeFile(const TSearchQuery& query, TSearchHit& hit) {
    if (From != 0 && From != SIZE_MAX) return TSearchOutcome::kNotFound;
    std::optional<TFileStamp> stamp = FileStampOf(FileName);
    if (stamp && stamp->Size > kMaxWholeFileSearch) return TSearchOutcome::kNotFound;
    std::optional<std::string> text = ReadWholeFile(FileName);
    if (!text) {
      Error = "cannot read " + FileName;
      return TSearchOutcome::kFailed;
    }
    hit.Record = 0;
    return FindInRecord(SearchPlacesOf(MolFormatFromFileName(FileName)), *text, query, hit) ? TSearchOutcome::kFound
                                                                                            : TSearchOutcome::kNotFound;
  }
};

unsigned __stdcall SearchThreadEntry(void* job) {
  TryGuarded("SearchThread", [job] { static_cast<TSearchJob*>(job)->Run(); });
  return 0;
}

void ShowNotice(TPelorinState& state, const std::string& notice) {
  state.Notice = notice;
  InvalidateRect(state.Wnd, nullptr, FALSE);
}

// Waits for the searching thread, handling the host's messages (the window keeps painting); a
// key for the viewer stops the search (OnKeyDown sees SearchStop). False when the window closed.
bool WaitForSearch(TPelorinState& state, HANDLE thread, TSearchJob& job) {
  const ULONGLONG started = GetTickCount64();
  ULONGLONG shown = 0;
  for (;;) {
    // Input already queued counts too: a key pressed before the wait began stops the search.
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &thread, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        job.Stop.RequestStop();
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        job.Stop.RequestStop();  // the next key stops the search, and is not handled otherwise
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!state.Open()) job.Stop.RequestStop();
    const ULONGLONG now = GetTickCount64();
    if (now - started >= kProgressAfterMs && now - shown >= kProgressEveryMs && state.Open()) {
      shown = now;
      ShowNotice(state, SearchProgressNotice(job.Done, job.Total));
    }
  }
  return state.Open();
}

void ShowHit(TPelorinState& state, const TSearchHit& hit) {
  const bool grid = state.RecordCountFinal && state.RecordCount <= 1;
  const int32_t record = grid ? 0 : static_cast<int32_t>(hit.Record);
  if (record != state.ShownRecord) {
    state.StepDirection = record < state.ShownRecord ? -1 : 1;
    state.ShownRecord = record;
    if (!StartLoad(state, record)) return;
  }
  state.Notice.clear();
  state.Mark = hit;
  InvalidateRect(state.Wnd, nullptr, FALSE);
}

}  // namespace

bool SearchInWindow(HWND wnd, const std::vector<std::string>& queries, int flags) {
  const THeldState state(ViewerStateOf(wnd));
  if (!state || state->SearchStop) return false;  // a search runs already (a host's nested call)
  const bool grid = state->RecordCountFinal && state->RecordCount <= 1;
  TSearchStart start = SearchStartOf(flags, state->ShownRecord);
  if (grid && !(flags & kSearchFindFirst)) start = {};  // one picture: nothing after it
  if (grid && start.Possible) start.From = (flags & kSearchBackwards) ? SIZE_MAX : 0;
  auto job = std::make_unique<TSearchJob>();
  for (const std::string& text : queries) {
    if (text.empty()) continue;
    TSearchQuery query;
    query.Text = text;
    query.MatchCase = (flags & kSearchMatchCase) != 0;
    query.WholeWords = (flags & kSearchWholeWords) != 0;
    query.Backwards = (flags & kSearchBackwards) != 0;
    job->Queries.push_back(query);
  }
  job->Records = state->Records;
  job->FileName = state->FileName;
  job->From = start.From;
  if (start.Possible && !job->Queries.empty()) {
    uintptr_t h = _beginthreadex(nullptr, 0, &SearchThreadEntry, job.get(), 0, nullptr);
    if (!h) {
      job->Outcome = TSearchOutcome::kFailed;
      job->Error = "the search thread could not be started";
    } else {
      TUniqueHandle thread(reinterpret_cast<HANDLE>(h));
      state->SearchStop = &job->Stop;
      const bool open = WaitForSearch(*state, thread.get(), *job);
      WaitForSingleObject(thread.get(), INFINITE);  // it has ended, or ends at its next piece
      state->SearchStop = nullptr;
      if (!open) return false;
    }
  }
  switch (job->Outcome) {
    case TSearchOutcome::kFound:
      DebugLogFmt("Search: found in record %llu", static_cast<unsigned long long>(job->Hit.Record + 1));
      ShowHit(*state, job->Hit);
      return true;
    case TSearchOutcome::kStopped:
      DebugLog("Search: stopped");
      ShowNotice(*state, "Search stopped");
      return false;
    case TSearchOutcome::kFailed:
      DebugLog("Search ERROR: " + job->Error);
      ShowNotice(*state, "Search failed: " + job->Error);
      return false;
    default:
      DebugLog("Search: not found");
      ShowNotice(*state, "Not found");
      return false;
  }
}

}  // namespace pelorin
