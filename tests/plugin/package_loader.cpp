// Loads a PELORINPLUGIN.dll from an unpacked release package the way the file manager
// does and checks that it answers: exit code 0 when it does.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HMODULE plugin = LoadLibraryA(argv[1]);
  if (!plugin) {
    std::fprintf(stderr, "cannot load %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  using TDetect = void(__stdcall*)(char*, int);
  using TDefaults = void(__stdcall*)(void*);
  auto detect = reinterpret_cast<TDetect>(reinterpret_cast<void*>(GetProcAddress(plugin, "ListGetDetectString")));
  auto defaults = reinterpret_cast<TDefaults>(reinterpret_cast<void*>(GetProcAddress(plugin, "ListSetDefaultParams")));
  const char* names[] = {"ListLoad",
                         "ListLoadW",
                         "ListLoadNext",
                         "ListLoadNextW",
                         "ListCloseWindow",
                         "ListGetDetectString",
                         "ListSetDefaultParams",
                         "ListSendCommand",
                         "ListGetPreviewBitmap",
                         "ListGetPreviewBitmapW"};
  int missing = 0;
  for (const char* name : names)
    if (!GetProcAddress(plugin, name)) {
      std::fprintf(stderr, "missing export %s\n", name);
      ++missing;
    }
  char text[256] = {};
  if (detect) detect(text, sizeof text);
  if (defaults) defaults(nullptr);
  FreeLibrary(plugin);
  bool ok = !missing && std::strstr(text, "EXT=\"MOL\"") != nullptr;
  std::printf("%s: %s\n", ok ? "loaded" : "broken", text);
  return ok ? 0 : 1;
}
