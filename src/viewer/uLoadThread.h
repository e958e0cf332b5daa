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
#include "support/uWinHandle.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

class TLoadThread {
 public:
  // Everything the worker needs is copied in: it never reads the window's state, so the
  // window may change or free it once the worker has been stopped. `records` (null for a file
  // without records) may still be filled by the record pass: the worker waits for its record.
  // `atomDrawing`: how the window draws atom models, which decides what their model holds; the
  // window's first load starts before the window knows, and an atom model waits for it.
  TLoadThread(HWND wnd, std::string fileName, std::shared_ptr<const TRecordIndex> records, int32_t molIndex,
              TViewMode mode, std::shared_future<TAtomDrawing> atomDrawing);
  ~TLoadThread();  // asks the worker to stop and waits for it
  TLoadThread(const TLoadThread&) = delete;
  TLoadThread& operator=(const TLoadThread&) = delete;

  bool Start();
  void Terminate() { terminated_ = true; }
  bool Finished() const { return finished_; }
  // Waits for the worker to end; messages sent to this thread's windows are still handled.
  void Wait();

  // Identifies this load in WM_PELORIN_LOADED; never reused within the process.
  const uint64_t Sequence;
  const int32_t MolIndex;
  const TViewMode Mode;

  // Results, valid once the worker has posted.
  TSVGScene Scene;
  bool SceneReady = false;
  std::string ErrorMsg;
  std::shared_ptr<TMeshModel> Model;

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

  HWND wnd_;
  std::string fileName_;
  std::shared_ptr<const TRecordIndex> records_;
  std::shared_future<TAtomDrawing> atomDrawing_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  TUniqueHandle thread_;
};

// A drawing kind known from the start, for a load's `atomDrawing`.
std::shared_future<TAtomDrawing> KnownAtomDrawing(TAtomDrawing drawing);

// Stops the window's current load and starts loading record `index` in the window's mode.
// The wait for the old load still handles messages sent from other threads, and one of
// them may destroy the window: false then, and the state is gone.
bool StartLoad(TPelorinState* state, int32_t index);
// Stops the window's load, if any, waiting for the worker.
void StopLoad(TPelorinState* state);
// Takes over a finished load (WM_PELORIN_LOADED); results of replaced loads are ignored.
void TakeOverLoad(TPelorinState* state, LPARAM sequence);

}  // namespace pelorin
