// The thread a viewer window's load job runs on, its result handed to the window by a posted
// WM_PELORIN_LOADED.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>

#include "support/uStopToken.h"
#include "support/uWinHandle.h"
#include "viewer/uLoadJob.h"

namespace pelorin {

// Whom a load works for: the user, who waits for it, or a later step, made ready ahead of it
// below normal priority (the worker's thread and its converter).
enum class TLoadPriority : uint8_t { kShown, kBackground };

class TLoadThread {
 public:
  // The request is the job's own copy: the worker never reads the window's state, so the window
  // may change or free it once the worker has been stopped.
  TLoadThread(HWND wnd, TLoadRequest request, std::optional<TViewKey> key,
              TLoadPriority priority = TLoadPriority::kShown);
  ~TLoadThread();  // asks the worker to stop and waits for it, handling sent messages
  TLoadThread(const TLoadThread&) = delete;
  TLoadThread& operator=(const TLoadThread&) = delete;

  [[nodiscard]] bool Start();
  // Asks the worker to stop: its converter ends at once, and it posts nothing.
  void Terminate() { stop_.RequestStop(); }
  bool Finished() const { return finished_; }
  // The worker's thread, until it has been waited for; null when it never started.
  HANDLE Thread() const { return thread_.get(); }
  // A background load the user now waits for: normal priority from here on, its converter's too.
  void Promote();

  // Identifies this load in WM_PELORIN_LOADED; never reused within the process.
  const uint64_t Sequence;
  const TLoadRequest Request;
  // The view this load makes, under which it is kept; none when the file could not be read.
  const std::optional<TViewKey> Key;
  // The result, valid once the worker has posted (and its thread has ended).
  TShownView Result;

 private:
  static unsigned __stdcall ThreadEntry(void* self);
  void Execute();

  HWND wnd_;
  TStopSource stop_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> background_;
  TUniqueHandle thread_;
};

}  // namespace pelorin
