// Entry function of PELORINPLUGIN.dll: library start and unload.
#include <windows.h>

#include "uWLXExports.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  try {
    if (reason == DLL_PROCESS_ATTACH) {
      DisableThreadLibraryCalls(instance);
      pelorin::OnLibraryAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
      pelorin::OnLibraryDetach();
    }
  } catch (...) {
  }
  return TRUE;
}
