// Runs the machine's real Linux converter from a Windows program inside Wine.
#pragma once

#include <string>
#include <vector>

namespace pelorin {

// Exit codes of the bridge's own failures. They lie above 255 so that they can never be
// mistaken for an exit status of the converter.
constexpr int kBridgeExitNotUnderWine = 900;
constexpr int kBridgeExitNoTempFile = 901;
constexpr int kBridgeExitSpawnFailed = 902;
constexpr int kBridgeExitNoOutput = 903;

// The Linux program run when PELORIN_UNIX_OBABEL names no other.
constexpr const char* kDefaultUnixConverter = "/usr/bin/obabel";

// This process's arguments without the program name, split by the platform's rules so
// that quoted arguments with blanks stay whole.
std::vector<std::wstring> OwnArguments();

// True for "X:\..." and "X:/..." (a drive-letter path).
bool IsDrivePath(const std::wstring& arg);

// Runs the Linux converter with `args` (drive paths mapped to Unix paths), waits for it,
// copies what it printed to this process's standard output and error handles and returns
// its exit status, or one of the kBridgeExit codes after writing a message to standard error.
// The converter's output file ("-O name") is written under a private name beside it and moved
// into place by this process once the converter has ended; when this process is killed first, a
// watchdog ends the converter and removes the private file and the capture files.
int RunUnixConverter(const std::vector<std::wstring>& args);

// Writes text to a standard handle; does nothing when the handle is missing.
void WriteStd(unsigned long which, const std::string& text);

}  // namespace pelorin
