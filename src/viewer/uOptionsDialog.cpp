// The options dialog, built from an in-memory template (the plugin ships no resources).
#include "viewer/uOptionsDialog.h"

#include <commdlg.h>

#include <exception>
#include <iterator>
#include <vector>

#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uGuard.h"

namespace pelorin {
namespace {

constexpr size_t kTextBufferSize = 1024;  // at most 1023 characters per text

struct TControlSpec {
  const char* Class;
  WORD Id;
  const char* Text;
  short X, Y, Width, Height;  // dialog units
  DWORD Style;                // besides WS_CHILD | WS_VISIBLE
};

// In tab order.
const TControlSpec kControls[] = {
    {"STATIC", 0, "obabel.exe path:", 5, 7, 70, 8, SS_LEFT},
    {"EDIT", kIdOBabelPath, "", 5, 18, 195, 13, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
    {"BUTTON", kIdBrowse, "Browse...", 202, 18, 50, 13, WS_TABSTOP | BS_PUSHBUTTON},
    {"STATIC", 0, "obabel options:", 5, 37, 80, 8, SS_LEFT},
    {"EDIT", kIdOBabelOpts, "", 5, 48, 195, 13, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
    {"STATIC", 0, "Start mode:", 5, 67, 60, 8, SS_LEFT},
    {"COMBOBOX", kIdStartMode, "", 70, 65, 60, 60, WS_TABSTOP | CBS_DROPDOWNLIST},
    {"STATIC", 0, "3D model:", 5, 82, 60, 8, SS_LEFT},
    {"COMBOBOX", kIdModel3D, "", 70, 80, 60, 60, WS_TABSTOP | CBS_DROPDOWNLIST},
    {"BUTTON", kIdLogging, "Enable logging", 5, 95, 100, 13, WS_TABSTOP | BS_AUTOCHECKBOX},
    {"BUTTON", IDOK, "OK", 120, 119, 60, 13, WS_TABSTOP | BS_DEFPUSHBUTTON},
    {"BUTTON", IDCANCEL, "Cancel", 190, 119, 60, 13, WS_TABSTOP | BS_PUSHBUTTON},
};

// The Model3D list in TModel3D's order, named as the ini file names them.
const TModel3D kModelChoices[] = {TModel3D::Auto, TModel3D::Surface, TModel3D::Atoms};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;

// A DLGTEMPLATE with its DLGITEMTEMPLATE records, written field by field.
class TTemplateBuilder {
 public:
  void Dialog(DWORD style, WORD itemCount, short width, short height, const char* title, WORD pointSize,
              const char* face) {
    DWord(style);
    DWord(0);  // extended style
    Word(itemCount);
    Coordinates(0, 0, width, height);
    Word(0);  // no menu
    Word(0);  // the default dialog class
    Text(title);
    Word(pointSize);
    Text(face);
  }
  void Item(const TControlSpec& c) {
    AlignToDword();
    DWord(WS_CHILD | WS_VISIBLE | c.Style);
    DWord(0);  // extended style
    Coordinates(c.X, c.Y, c.Width, c.Height);
    Word(c.Id);
    Text(c.Class);
    Text(c.Text);
    Word(0);  // no creation data
  }
  // DWORD-aligned: the buffer comes from operator new.
  const std::vector<BYTE>& Bytes() const { return bytes_; }

 private:
  void Append(const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  void Word(WORD v) { Append(&v, sizeof v); }
  void DWord(DWORD v) { Append(&v, sizeof v); }
  void Coordinates(short x, short y, short cx, short cy) {
    for (short v : {x, y, cx, cy}) Append(&v, sizeof v);
  }
  // UTF-16 by widening each byte, zero-terminated.
  void Text(const char* s) {
    for (; *s; ++s) Word(static_cast<unsigned char>(*s));
    Word(0);
  }
  void AlignToDword() {
    while (bytes_.size() % sizeof(DWORD)) bytes_.push_back(0);
  }

  std::vector<BYTE> bytes_;
};

std::vector<BYTE> BuildOptionsTemplate() {
  TTemplateBuilder builder;
  builder.Dialog(kDialogStyle, static_cast<WORD>(std::size(kControls)), 260, 137, "Pelorin Options", 8, "MS Shell Dlg");
  for (const TControlSpec& control : kControls) builder.Item(control);
  return builder.Bytes();
}

TOptionsValues* ValuesOf(HWND dialog) {
  return reinterpret_cast<TOptionsValues*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string ControlText(HWND dialog, int id) {
  char buffer[kTextBufferSize] = {};
  UINT n = GetDlgItemTextA(dialog, id, buffer, static_cast<int>(kTextBufferSize));
  return std::string(buffer, n < kTextBufferSize ? n : 0);
}

void InitControls(HWND dialog, const TOptionsValues& values) {
  SetDlgItemTextA(dialog, kIdOBabelPath, values.Path.c_str());
  SetDlgItemTextA(dialog, kIdOBabelOpts, values.Options.c_str());
  for (const char* mode : {"2D", "3D"})
    SendDlgItemMessageA(dialog, kIdStartMode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
  SendDlgItemMessageA(dialog, kIdStartMode, CB_SETCURSEL, static_cast<WPARAM>(values.Mode), 0);
  for (TModel3D model : kModelChoices) {
    const std::string text = Model3DToText(model);
    SendDlgItemMessageA(dialog, kIdModel3D, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendDlgItemMessageA(dialog, kIdModel3D, CB_SETCURSEL, static_cast<WPARAM>(values.Model3D), 0);
  CheckDlgButton(dialog, kIdLogging, values.Logging ? BST_CHECKED : BST_UNCHECKED);
}

void ReadControls(HWND dialog, TOptionsValues& values) {
  values.Path = ControlText(dialog, kIdOBabelPath);
  values.Options = ControlText(dialog, kIdOBabelOpts);
  // Only the two list entries are modes; no selection at all counts as 2D.
  LRESULT index = SendDlgItemMessageA(dialog, kIdStartMode, CB_GETCURSEL, 0, 0);
  values.Mode = index == 1 ? TViewMode::k3D : TViewMode::k2D;
  LRESULT model = SendDlgItemMessageA(dialog, kIdModel3D, CB_GETCURSEL, 0, 0);
  values.Model3D = model >= 0 && model < LRESULT(std::size(kModelChoices)) ? kModelChoices[model] : TModel3D::Auto;
  values.Logging = IsDlgButtonChecked(dialog, kIdLogging) == BST_CHECKED;
}

// The file dialog starts from the path the options dialog was opened with.
void BrowseForOBabel(HWND dialog, const TOptionsValues& values) {
  char buffer[kTextBufferSize] = {};
  values.Path.copy(buffer, kTextBufferSize - 1);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dialog;
  ofn.lpstrFilter = "obabel.exe\0obabel.exe\0All (*.*)\0*.*\0";
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = kTextBufferSize;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (GetOpenFileNameA(&ofn)) SetDlgItemTextA(dialog, kIdOBabelPath, buffer);
}

bool HandleOptionsMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    if (auto* values = reinterpret_cast<TOptionsValues*>(lParam)) InitControls(dialog, *values);
    return true;
  }
  if (msg != WM_COMMAND) return false;
  TOptionsValues* values = ValuesOf(dialog);
  switch (LOWORD(wParam)) {
    case IDOK:
      if (values) ReadControls(dialog, *values);
      EndDialog(dialog, IDOK);
      return true;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return true;
    case kIdBrowse:
      if (values) BrowseForOBabel(dialog, *values);
      return true;
    default:
      return false;
  }
}

// Config is replaced as a whole through a copy, so a load thread taking a snapshot sees
// either the old or the new settings, never a half-written string.
void ApplyOptions(const TOptionsValues& values, HWND owner, TPelorinState* state) {
  TPelorinConfig config = ConfigSnapshot();
  config.OBabelPath = values.Path;
  config.OBabelOpts = values.Options;
  config.StartMode = values.Mode;
  config.Model3D = values.Model3D;
  config.Logging = values.Logging;
  StoreConfig(config);
  DebugLogFmt("ShowOptionsDialog: OBabelPath=[%s] OBabelOpts=[%s] StartMode=%s Logging=%d", config.OBabelPath.c_str(),
              config.OBabelOpts.c_str(), StartModeToText(config.StartMode).c_str(), config.Logging ? 1 : 0);
  DebugLogFmt("ShowOptionsDialog: Model3D=%s", Model3DToText(config.Model3D).c_str());
  DebugLogSetup(SettingsDir(), config.Logging);
  std::string error;
  if (!SaveConfig(error)) {
    DebugLog("SaveConfig ERROR: " + error);
    std::string text = "Could not save settings: " + error;
    MessageBoxA(IsWindow(owner) ? owner : nullptr, text.c_str(), "Pelorin", MB_OK | MB_ICONERROR);
  }
  // The mode changes only now: paints during the message box above must still find the mode
  // that matches the scene they draw. The dialog's and the message box's loops may have
  // closed the window.
  if (state && state->Open()) state->Mode = values.Mode;
}

void RunOptionsDialog(HWND owner, TPelorinState* state) {
  TPelorinConfig config = ConfigSnapshot();
  TOptionsValues values;
  values.Path = config.OBabelPath;
  values.Options = config.OBabelOpts;
  values.Mode = state ? state->Mode : config.StartMode;
  values.Model3D = config.Model3D;
  values.Logging = config.Logging;
  std::vector<BYTE> dialogTemplate = BuildOptionsTemplate();
  INT_PTR result = DialogBoxIndirectParamA(ViewerInstance(), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
                                           owner, &OptionsDlgProc, reinterpret_cast<LPARAM>(&values));
  if (result != IDOK) return;
  ApplyOptions(values, owner, state);
}

}  // namespace

void ShowOptionsDialog(HWND owner, TPelorinState* state) {
  const THeldState held(state);  // the dialog's loop may close the window
  TryGuarded("ShowOptionsDialog", [&] { RunOptionsDialog(owner, state); });
}

INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Nothing may unwind through the dialog manager.
  return RunGuarded("OptionsDlgProc", INT_PTR{FALSE},
                    [&]() -> INT_PTR { return HandleOptionsMessage(dialog, msg, wParam, lParam) ? TRUE : FALSE; });
}

}  // namespace pelorin
