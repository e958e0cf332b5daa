// Drives the modal dialogs of a viewer command from a second thread while the test's own
// thread sits in the dialog's message loop: find a dialog, read it, fill it in, press buttons.
// Results are collected and checked on the test thread after Finish().
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace pelorin_test {

inline constexpr int kFileNameCombo = 0x47C;  // cmb13 of the common file dialogs
inline constexpr int kFileNameEdit = 0x480;   // edt1, the older layout
inline constexpr int kMessageBoxText = 0xFFFF;
inline constexpr int kMessageBoxIcon = 0x0440;

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
  return WaitForOwnedWindow(owner, "#32770", seconds);
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
// any further dialog of `owner` until Finish(), so an unexpected dialog never hangs the test.
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

  // A step that waits for a message box of the owner, records it and closes it.
  bool TakeMessageBox(double seconds = 60) {
    HWND box = WaitForDialog(owner_, seconds);
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
      if (HWND stray = FindOwnedWindow(nullptr, "#32770")) {
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

// Destroys a window on the thread that owns it (DestroyWindow works only there) when
// another thread asks through SendMessage, e.g. while that thread sits in a modal loop.
class TWindowDestroyer {
 public:
  TWindowDestroyer() {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = [](HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg != WM_APP) return DefWindowProcA(wnd, msg, wParam, lParam);
        return DestroyWindow(reinterpret_cast<HWND>(wParam));
      };
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "PelorinTestDestroyer";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    wnd_ = CreateWindowExA(0, "PelorinTestDestroyer", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }
  TWindowDestroyer(const TWindowDestroyer&) = delete;
  TWindowDestroyer& operator=(const TWindowDestroyer&) = delete;
  ~TWindowDestroyer() { DestroyWindow(wnd_); }

  // Called from any thread; returns when the window is gone.
  bool Destroy(HWND target) const { return SendMessageA(wnd_, WM_APP, reinterpret_cast<WPARAM>(target), 0) != 0; }

 private:
  HWND wnd_ = nullptr;
};

}  // namespace pelorin_test
