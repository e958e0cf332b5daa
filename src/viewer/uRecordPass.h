// The pass that counts a viewer window's records (an SDF library, a SMILES file's lines) on a
// thread of its own, so that the window opens at once whatever the file's size.
#pragma once

#include <windows.h>

#include <memory>

#include "formats/uRecordIndex.h"
#include "support/uWinHandle.h"

namespace pelorin {

inline constexpr UINT WM_PELORIN_RECORDS = WM_USER + 103;  // the pass found records or ended

class TRecordPass {
 public:
  TRecordPass(HWND wnd, std::shared_ptr<TRecordIndex> records);
  ~TRecordPass();  // cancels the pass and waits for it: at most one chunk's read
  TRecordPass(const TRecordPass&) = delete;
  TRecordPass& operator=(const TRecordPass&) = delete;

  // Starts the pass; false when no thread could be made (the index is then left untouched).
  bool Start();

 private:
  static unsigned __stdcall ThreadEntry(void* self);
  void Execute();
  void Post();

  HWND wnd_;
  std::shared_ptr<TRecordIndex> records_;
  TUniqueHandle thread_;
};

}  // namespace pelorin
