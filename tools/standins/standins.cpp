// Stand-in converters that show on demand the faults the real converter cannot: hanging,
// failing, writing an empty file, printing only to standard error, refusing --gen3d, one that
// only leaves a trace that it was started, and one that counts its runs (and converts with the
// real converter, or hangs while told to).
// Each program is this file built with PELORIN_STANDIN_KIND naming its behaviour.
#include <windows.h>

#include <string>
#include <vector>

#include "uWineBridge.h"

namespace pelorin {
namespace {

using TArgs = std::vector<std::wstring>;

void Out(const std::string& line) {
  WriteStd(STD_OUTPUT_HANDLE, line + "\r\n");
}
void Err(const std::string& line) {
  WriteStd(STD_ERROR_HANDLE, line + "\r\n");
}

// The file named by "-O name" or "-Oname"; empty when there is none.
std::wstring OutputFileOf(const TArgs& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"-O") return i + 1 < args.size() ? args[i + 1] : std::wstring();
    if (args[i].size() > 2 && args[i].compare(0, 2, L"-O") == 0) return args[i].substr(2);
  }
  return {};
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  return lstrcmpiW(a.c_str(), b) == 0;
}

int Sleep120() {
  Out("stand-in: sleeping");
  Sleep(120 * 1000);
  return 0;
}

int FailWith(int code) {
  Out("stand-in: failing with exit code " + std::to_string(code));
  Err("stand-in: error: conversion failed");
  return code;
}

int WriteEmptyOutput(const TArgs& args) {
  std::wstring output = OutputFileOf(args);
  if (output.empty()) {
    Err("stand-in: no -O output file given");
    return 1;
  }
  HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Err("stand-in: cannot create the output file");
    return 1;
  }
  CloseHandle(file);
  return 0;
}

int PrintToStderrOnly() {
  Err("stand-in: first line on stderr");
  Err("stand-in: second line on stderr");
  return 0;
}

int ConvertWithoutGen3D(const TArgs& args) {
  for (const std::wstring& arg : args) {
    if (EqualsNoCase(arg, L"--gen3d")) {
      Err("stand-in: --gen3d is not supported here");
      return 1;
    }
  }
  return RunUnixConverter(args);
}

// The folder of this program file, whatever name the file has, with its separator.
std::wstring OwnFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return own.substr(0, own.find_last_of(L'\\') + 1);
}

// Creates "stand-in-ran.txt" beside its own program file.
int LeaveMarker() {
  std::wstring marker = OwnFolder() + L"stand-in-ran.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  Out("stand-in: marker written");
  return 0;
}

// Adds a line to "stand-in-runs.txt" beside its program file, then converts with the real
// converter; while "stand-in-hold.txt" lies there too, it sleeps instead (a long conversion).
int CountAndConvert(const TArgs& args) {
  const std::wstring folder = OwnFolder();
  HANDLE runs = CreateFileW((folder + L"stand-in-runs.txt").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (runs != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(runs, "run\r\n", 5, &written, nullptr);
    CloseHandle(runs);
  }
  if (GetFileAttributesW((folder + L"stand-in-hold.txt").c_str()) != INVALID_FILE_ATTRIBUTES) return Sleep120();
  return RunUnixConverter(args);
}

int RunStandIn(const std::string& kind, const TArgs& args) {
  if (kind == "sleep") return Sleep120();
  if (kind == "exit1") return FailWith(1);
  if (kind == "exit2") return FailWith(2);
  if (kind == "empty") return WriteEmptyOutput(args);
  if (kind == "stderr") return PrintToStderrOnly();
  if (kind == "nogen3d") return ConvertWithoutGen3D(args);
  if (kind == "marker") return LeaveMarker();
  if (kind == "count") return CountAndConvert(args);
  Err("stand-in: unknown kind " + kind);
  return 3;
}

}  // namespace
}  // namespace pelorin

int main() {
  return pelorin::RunStandIn(PELORIN_STANDIN_KIND, pelorin::OwnArguments());
}
