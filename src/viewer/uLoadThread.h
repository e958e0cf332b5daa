// The background load of one viewer window: conversion and reading on a worker thread,
// the result handed to the window by a posted message.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "formats/uMolSurvey.h"
#include "model3d/uAtomModel.h"
#include "support/uFileIO.h"
#include "support/uStopToken.h"
#include "support/uWinHandle.h"
#include "viewer/uViewCache.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

// Whom a load works for: the user, who waits for it, or a later step, made ready ahead of it
// below normal priority (the worker's thread and its converter).
enum class TLoadPriority : uint8_t { kShown, kBackground };

class TLoadThread {
 public:
  // Everything the worker needs is copied in: it never reads the window's state, so the
  // window may change or free it once the worker has been stopped. `records` (null for a file
  // without records) may still be filled by the record pass: the worker waits for its record.
  // `atomDrawing`: how the window draws atom models, which decides what their model holds; the
  // window's first load starts before the window knows, and an atom model waits for it.
  TLoadThread(HWND wnd, std::string fileName, std::shared_ptr<const TRecordIndex> records, int32_t molIndex,
              TViewMode mode, std::shared_future<TAtomDrawing> atomDrawing,
              TLoadPriority priority = TLoadPriority::kShown);
  ~TLoadThread();  // asks the worker to stop and waits for it
  TLoadThread(const TLoadThread&) = delete;
  TLoadThread& operator=(const TLoadThread&) = delete;

  bool Start();
  void Terminate() { stop_.RequestStop(); }
  bool Finished() const { return finished_; }
  // Waits for the worker to end; messages sent to this thread's windows are still handled.
  void Wait();
  // A background load the user now waits for: normal priority from here on, its converter's too.
  void Promote();
  bool Background() const { return background_; }

  // Identifies this load in WM_PELORIN_LOADED; never reused within the process.
  const uint64_t Sequence;
  const int32_t MolIndex;
  const TViewMode Mode;
  // The view this load makes, under which it is kept; none when the file could not be read.
  std::optional<TViewKey> Key;

  // Results, valid once the worker has posted.
  TSVGScene Scene;
  std::string SvgText;
  bool SceneReady = false;
  std::string ErrorMsg;
  std::shared_ptr<TMeshModel> Model;
  TSDFRecordData Data;  // an SDF record's title and data fields, from the text read for the converter

 private:
  static unsigned __stdcall ThreadEntry(void* self);
  void Execute();
  void Load(TFileRemover& recordFile);
  bool WaitForRecord();
  bool Load2D(const std::string& input);
  bool Load3D(const std::string& input);
  // What becomes of a surface whose STL is too large to hold.
  enum class TOverBudget { Refuse, DrawAtoms };
  bool LoadSurface(const std::string& input, TOverBudget overBudget);
  // `atoms`: the file's own, when they were read ahead; otherwise LoadFileAtoms reads them.
  bool LoadAtoms(const std::string& input, const std::optional<TRecordSurvey>& survey, TAtomArray atoms = {});
  // How the window draws atoms, once it knows; false when the load is stopped meanwhile.
  bool KnowAtomDrawing(TAtomDrawing& drawing);
  void PostResult();
  bool Stopped() const { return stop_.StopRequested(); }

  HWND wnd_;
  std::string fileName_;
  std::shared_ptr<const TRecordIndex> records_;
  std::shared_future<TAtomDrawing> atomDrawing_;
  TStopSource stop_;  // a stop ends the converter run and the record's read at once
  std::atomic<bool> finished_{false};
  std::atomic<bool> background_;
  TUniqueHandle thread_;
};

// Shows record `index` in the window's mode: the view kept for it when there is one, else the
// background load already converting it, else a new load (the old one stopped). The view shown
// before is kept for a step back. The wait for the old load still handles messages sent from
// other threads, and one of them may destroy the window: false then, and the state is gone.
bool StartLoad(TPelorinState* state, int32_t index);
// Stops the window's load, if any, waiting for the worker.
void StopLoad(TPelorinState* state);
// Takes over a finished load (WM_PELORIN_LOADED): the shown one's result, or a background
// load's, which is kept for the step to it; results of replaced loads are ignored.
void TakeOverLoad(TPelorinState* state, LPARAM sequence);

// The view of record `index` in `mode` of the window's file as it is now; none when the file
// cannot be read.
std::optional<TViewKey> ViewKeyFor(const TPelorinState& state, int32_t index, TViewMode mode);
// Once the shown view is drawn: converts the next record in the direction of the last step in
// the background, unless it is kept already, a load runs, or (3D) kept models fill their budget.
void StartPrefetch(TPelorinState* state);
// Stops the background load without waiting for it (it ends on its own, its converter at once).
void CancelPrefetch(TPelorinState& state);
// Forgets the kept views (the settings changed, or a reload is asked for): the next load converts.
void ForgetKeptViews(TPelorinState& state);
// Waits for every stopped background load to end (the window closes).
void EndBackgroundLoads(TPelorinState& state);

}  // namespace pelorin
