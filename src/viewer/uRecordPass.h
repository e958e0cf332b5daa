// The pass that counts a viewer window's records (an SDF library, a SMILES file's lines, the
// frames of a trajectory, ...) on a thread of its own, so that the window opens at once whatever
// the file's size.
#pragma once

#include <windows.h>

#include <memory>

#include "formats/uRecordIndex.h"
#include "support/uWinHandle.h"

namespace pelorin {

inline constexpr UINT WM_PELORIN_RECORDS = WM_USER + 103;  // the pass found records or ended

// How long closing a window waits for its pass to end: a pass whose read the system cannot stop
// at once (a stalled network share) ends later on its own and only drops its result.
inline constexpr DWORD kRecordPassCloseWaitMs = 200;

class TRecordPass {
 public:
  TRecordPass(HWND wnd, std::shared_ptr<TRecordIndex> records);
  // Cancels the pass and waits for it at most kRecordPassCloseWaitMs; a pass still running then
  // goes on with what it shares (the index, its link to the window) and posts nothing more.
  ~TRecordPass();
  TRecordPass(const TRecordPass&) = delete;
  TRecordPass& operator=(const TRecordPass&) = delete;

  // Starts the pass; false when no thread could be made (the index is then left untouched).
  [[nodiscard]] bool Start();
  // Stops the pass (it ends the index kCancelled) without waiting for it.
  void Stop();

 private:
  struct TShared;
  static void Execute(const std::shared_ptr<TShared>& shared);

  std::shared_ptr<TShared> shared_;  // with the pass's thread, which may outlive this object
  TUniqueHandle thread_;
};

}  // namespace pelorin
