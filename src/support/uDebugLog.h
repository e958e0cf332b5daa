// The optional diagnostic log pelorindebug.log: time-stamped lines from every thread.
#pragma once

#include <string>

#if defined(__MINGW32__)
#define PELORIN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define PELORIN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PELORIN_PRINTF(fmt, args)
#endif

namespace pelorin {

// Directory used when DebugLogSetup is given none (the plugin directory, ending in "\").
#ifdef _WIN32
void DebugLogSetDefaultDir(const std::wstring& directory);
#else
void DebugLogSetDefaultDir(const std::string& directory);
#endif

// Opens the log in `directory` (or the default directory when empty) and writes the
// header block, or closes it with a closing line when `enable` is false.
void DebugLogSetup(const std::string& directory, bool enable);

void DebugLog(const std::string& message);
void DebugLogFmt(const char* format, ...) PELORIN_PRINTF(1, 2);
void DebugLogSection(const std::string& title);
void DebugLogClose();
// DebugLogClose for a process that is ending: other threads are gone, perhaps while
// holding the log's lock, so the lock is only tried, never waited for.
void DebugLogCloseAtProcessExit();

// Whether a log file is open and lines are being written.
bool DebugLogEnabled();
// Full path of the current log file; empty while logging is off.
std::string DebugLogFileName();

}  // namespace pelorin
