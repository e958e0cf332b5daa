// The lister plugin's exported entry points and the once-only configuration load.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

// The host's default-parameter record (the lister interface's ListDefaultParamStruct).
struct ListDefaultParamStruct {
  int32_t size;
  uint32_t PluginInterfaceVersionLow;
  uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[260];
};

extern "C" {
HWND __stdcall ListLoad(HWND ParentWin, char* FileToLoad, int ShowFlags);
HWND __stdcall ListLoadW(HWND ParentWin, wchar_t* FileToLoad, int ShowFlags);
int __stdcall ListLoadNext(HWND ParentWin, HWND PluginWin, char* FileToLoad, int ShowFlags);
int __stdcall ListLoadNextW(HWND ParentWin, HWND PluginWin, wchar_t* FileToLoad, int ShowFlags);
void __stdcall ListCloseWindow(HWND ListWin);
void __stdcall ListGetDetectString(char* DetectString, int maxlen);
void __stdcall ListSetDefaultParams(ListDefaultParamStruct* dps);
int __stdcall ListSendCommand(HWND ListWin, int Command, int Parameter);
HBITMAP __stdcall ListGetPreviewBitmap(char* FileToLoad, int width, int height, char* contentbuf, int contentbuflen);
HBITMAP __stdcall ListGetPreviewBitmapW(wchar_t* FileToLoad, int width, int height, char* contentbuf,
                                        int contentbuflen);
}

namespace pelorin {

// The host's commands (ListSendCommand) and their results, as the lister interface numbers them.
inline constexpr int kCommandCopy = 1;       // copy what the viewer shows
inline constexpr int kCommandNewParams = 2;  // the display parameters changed (Parameter: the new ones)
inline constexpr int kCommandSelectAll = 3;
inline constexpr int kCommandSetPercent = 4;
inline constexpr int kListPluginOK = 0;
inline constexpr int kListPluginError = 1;  // also: a command the plugin does not perform

// The extensions the plugin takes, in the host's detect-string syntax (97 characters).
inline constexpr char kDetectString[] =
    "EXT=\"MOL\" | EXT=\"SDF\" | EXT=\"MOL2\" | EXT=\"SMI\" | EXT=\"SMILES\" | EXT=\"PDB\" | EXT=\"XYZ\" | EXT=\"CML\"";

// True once any entry point has loaded the configuration.
extern std::atomic<bool> ConfigLoaded;
// Loads the configuration the first time any entry point needs it.
void EnsureConfigLoaded();

// Library start and unload, called from the DLL's entry function.
// False when the plugin cannot work at all (no OpenGL library); the load then fails.
bool OnLibraryAttach(HINSTANCE instance);
// `processExit`: the whole process is ending (other threads are already gone).
void OnLibraryDetach(bool processExit);

}  // namespace pelorin
