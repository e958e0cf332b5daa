// Drives modal dialogs from a second thread while the program's own thread sits in the
// dialog's message loop: find a dialog, read it, fill it in, press buttons. Shared by the
// Windows tests and the lister host. Results are collected and read after Finish().
#pragma once

#include <windows.h>
// dlgs.h needs windows.h first.
#include <dlgs.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace pelorin::dialogs {

// The file name field of the common file dialogs: a combo box, or an edit in the older layout.
inline constexpr int kFileNameCombo = cmb13;
inline constexpr int kFileNameEdit = edt1;
// A message box's text and icon controls (the icon's id is the one Wine gives it).
inline constexpr int kMessageBoxText = 0xFFFF;
inline constexpr int kMessageBoxIcon = stc1;
// The class of dialog boxes and message boxes.
inline constexpr char kDialogClass[] = "#32770";

inline std::string ClassOf(HWND wnd) {
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

inline std::string TextOf(HWND wnd) {
  char text[2048] = {};
  GetWindowTextA(wnd, text, sizeof text);  // sent to the dialog's thread, which answers from its loop
  return text;
}

// A visible top-level window of `className` owned by `owner` (any owner when null).
inline HWND FindOwnedWindow(HWND owner, const char* className) {
  struct TSearch {
    HWND Owner;
    const char* Class;
    HWND Found;
  } search{owner, className, nullptr};
  EnumWindows(
      [](HWND wnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        if (!IsWindowVisible(wnd) || ClassOf(wnd) != s->Class) return TRUE;
        if (s->Owner && GetWindow(wnd, GW_OWNER) != s->Owner) return TRUE;
        s->Found = wnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

inline HWND WaitForOwnedWindow(HWND owner, const char* className, double seconds = 30) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (HWND found = FindOwnedWindow(owner, className)) return found;
    Sleep(20);
  }
  return nullptr;
}

inline HWND WaitForDialog(HWND owner, double seconds = 30) {
  return WaitForOwnedWindow(owner, kDialogClass, seconds);
}

inline bool WaitGone(HWND wnd, double seconds = 30) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (IsWindow(wnd) && IsWindowVisible(wnd)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(20);
  }
  return true;
}

// Posted, so that the driving thread is not blocked by what the button opens.
inline void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Null for a dialog that is no file dialog.
inline HWND FileNameControl(HWND fileDialog) {
  HWND control = GetDlgItem(fileDialog, kFileNameCombo);
  return control ? control : GetDlgItem(fileDialog, kFileNameEdit);
}

inline std::string FileNameOf(HWND fileDialog) {
  return TextOf(FileNameControl(fileDialog));
}

// Types a file name into a common file dialog and confirms it.
inline void ChooseFile(HWND fileDialog, const std::string& path) {
  SendMessageA(FileNameControl(fileDialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  Press(fileDialog, IDOK);
}
inline void ChooseFile(HWND fileDialog, const std::wstring& path) {
  SendMessageW(FileNameControl(fileDialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  Press(fileDialog, IDOK);
}

struct TMessageBoxSeen {
  std::string Caption;
  std::string Text;
  bool ErrorIcon = false;
};

inline TMessageBoxSeen ReadMessageBox(HWND box) {
  TMessageBoxSeen seen;
  seen.Caption = TextOf(box);
  seen.Text = TextOf(GetDlgItem(box, kMessageBoxText));
  HWND icon = GetDlgItem(box, kMessageBoxIcon);
  seen.ErrorIcon =
      icon && reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) == LoadIcon(nullptr, IDI_HAND);
  return seen;
}

// Runs `steps` on a second thread. When they are done it keeps closing (and recording)
// any further dialog of the owner's thread until Finish(), so that an unexpected dialog
// never leaves the program waiting.
class TDialogScript {
 public:
  TDialogScript(HWND owner, std::function<void(TDialogScript&)> steps)
      : owner_(owner), thread_([this, steps] { Run(steps); }) {}
  TDialogScript(const TDialogScript&) = delete;
  TDialogScript& operator=(const TDialogScript&) = delete;
  ~TDialogScript() { Finish(); }

  void Finish() {
    finish_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool StepsDone() const { return stepsDone_; }
  HWND Owner() const { return owner_; }

  // Filled by the steps; read after Finish().
  std::vector<std::string> Notes;
  std::vector<TMessageBoxSeen> Boxes;
  // Dialogs closed by the sweep, by caption.
  std::vector<std::string> Unexpected;

  // The next dialog of the owner; null when none came in time or Finish() was called.
  HWND NextDialog(double seconds = 30) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!finish_ && std::chrono::steady_clock::now() < deadline) {
      if (HWND found = FindOwnedWindow(owner_, kDialogClass)) return found;
      Sleep(20);
    }
    return nullptr;
  }

  // A step that waits for a message box of the owner, records it and closes it.
  bool TakeMessageBox(double seconds = 60) {
    HWND box = NextDialog(seconds);
    if (!box) {
      Notes.push_back("no message box appeared");
      return false;
    }
    Boxes.push_back(ReadMessageBox(box));
    Press(box, IDOK);
    WaitGone(box);
    return true;
  }

 private:
  void Run(const std::function<void(TDialogScript&)>& steps) {
    steps(*this);
    stepsDone_ = true;
    while (!finish_) {
      if (HWND stray = FindOwnedWindow(nullptr, kDialogClass)) {
        if (GetWindowThreadProcessId(stray, nullptr) == GetWindowThreadProcessId(owner_, nullptr)) {
          Unexpected.push_back(TextOf(stray) + ": " + TextOf(GetDlgItem(stray, kMessageBoxText)));
          Press(stray, IDCANCEL);
          WaitGone(stray, 5);
        }
      }
      Sleep(20);
    }
  }

  HWND owner_;
  std::atomic<bool> finish_{false};
  std::atomic<bool> stepsDone_{false};
  std::thread thread_;
};

}  // namespace pelorin::dialogs
