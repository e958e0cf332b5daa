// The converter front end: running obabel.exe with a time-out, and the 2D (SVG) and
// 3D (STL) conversions with their command lines and fall-back.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/uConfig.h"
#include "support/uDeadline.h"
#include "support/uStopToken.h"

namespace pelorin {

// --- Command lines (platform-independent) ---

// The text in double quotes when it contains a blank, else unchanged.
std::string QuoteIfBlank(const std::string& text);
// The mode arguments with the output path put behind the first "-O " (or appended).
std::string SubstituteOutput(const std::string& arguments, const std::string& outputPath);
// The arguments without any blank-delimited occurrence of `word` (any letter case).
std::string RemoveToken(const std::string& arguments, const std::string& word);
// Program, input, mode arguments with the output path, and the extra options.
std::string BuildCommandLine(const TPelorinConfig& config, const std::string& inputPath,
                             const std::string& modeArguments, const std::string& outputPath);
// The 3D arguments for a record: without --gen3d (in any letter case) when the record has 3D
// coordinates of its own, which a generated conformer would replace.
std::string ThreeDArguments(const std::string& cmdLine3D, bool hasOwn3D);
// The 3D arguments for an atom list (XYZ output): as ThreeDArguments, and a PDB file is read
// without bond perception ("-ab"): atoms need no bonds, and perceiving them is most of the
// converter's time on a protein.
std::string AtomListArguments(const std::string& cmdLine3D, bool hasOwn3D, bool pdbInput);
// Joins text lines, each followed by CR LF, whatever line breaks the text had.
std::string NormalizeLineBreaks(std::string_view text);
// The user's message for a converter that ran out of time: "Open Babel did not finish within
// 30 s: caffeine.mol" (the input's name without its folder; tenths shown for odd limits).
std::string TimeoutMessage(uint32_t timeoutMs, const std::string& inputPath);

// How one conversion may run. A time-out is deterministic: the same run would time out
// again, so it is never tried a second time whatever `Attempts` says.
struct TConversionLimits {
  uint32_t TimeoutMs = 0;  // 0: the runner's limit
  int32_t Attempts = 2;    // runs that failed in another way are tried this often in all
  std::string ExtraArgs;   // appended to the mode's arguments, e.g. "-l 12"
  // When set, every wait of the conversion ends by it: the converter's run, the wait for a killed
  // one, the removal of its capture and output files. What is left of the clean-up then goes on,
  // on a thread of its own. The host's thread runs the converter only so.
  TDeadline Deadline;
  // Once it stops, a running converter is ended at once and no further attempt or fall-back is
  // started: a viewer's load hands its own, so that stepping to another record or closing the
  // window need not wait for a converter that may take up to its time-out.
  TStopToken Stop;
};

// The limits of a converter run on the host's thread (a thumbnail, a copy, an export): one
// attempt, and every wait within ThumbnailTimeout from now.
TConversionLimits HostThreadLimits(const TPelorinConfig& config);

// Waits for at most `timeoutMs` of the clock `nowMs()`, in slices of at most `sliceMs`
// handed to `waitSlice(ms)`, which returns true when the wait is over for another reason
// (the awaited event, or a failure); `stop()` is asked between slices. The time left comes
// from a deadline, not from the slices asked for: a timed wait may last a timer period
// longer than asked, and counting nominal slices would add that up.
// True when waitSlice ended the wait; false at the deadline or when stop() said so.
template <typename TNow, typename TWaitSlice, typename TStop>
bool WaitWithDeadline(uint32_t timeoutMs, uint32_t sliceMs, TNow nowMs, TWaitSlice waitSlice, TStop stop) {
  const uint64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    uint64_t now = nowMs();
    uint64_t left = now < deadline ? deadline - now : 0;
    if (waitSlice(static_cast<uint32_t>(std::min<uint64_t>(sliceMs, left)))) return true;
    if (nowMs() >= deadline || stop()) return false;
  }
}

#ifdef _WIN32

// --- Process runner ---

// Time limits of one converter run. The product's values are 30 s and 5 s; tests
// shorten them through SetRunLimits.
struct TRunLimits {
  uint32_t TimeoutMs = 30000;
  uint32_t KillWaitMs = 5000;
};
TRunLimits GetRunLimits();
void SetRunLimits(const TRunLimits& limits);

// While one of these lives, the calling thread's converter runs start below normal priority as
// long as its flag is set (a conversion made ahead of the user's step, which must not slow the
// host or a conversion the user waits for). A flag cleared during a run raises the running
// child to normal priority within a moment: the user now waits for that conversion.
class TConversionPriorityScope {
 public:
  explicit TConversionPriorityScope(const std::atomic<bool>& background);
  ~TConversionPriorityScope();
  TConversionPriorityScope(const TConversionPriorityScope&) = delete;
  TConversionPriorityScope& operator=(const TConversionPriorityScope&) = delete;

 private:
  const std::atomic<bool>* previous_;
};

// 32 upper-case hex digits of a new GUID (or process id and tick count).
std::string UniquePart();
// TempDir + prefix + "_" + UniquePart() + extension.
std::string MakeTempFileName(const std::string& prefix, const std::string& extension);
std::string MakeTempFileName(const std::string& tempDir, const std::string& prefix, const std::string& extension);

// Runs `program` (a full path; nothing is searched for) with `commandLine` (which starts
// with the program's name, as usual) without a window, output captured into the debug log.
// True when the child ended within the time-out and its exit code was read; exitCode is
// -1 otherwise.
[[nodiscard]] bool RunProcessWait(const std::string& program, const std::string& commandLine, int32_t& exitCode);

// How a run ended, for callers that treat a time-out apart from other failures.
enum class TRunEnd { Exited, NotStarted, TimedOut, Cancelled, Failed };
// As RunProcessWait, with its own time limit (0: the runner's limit), when `deadline` is set every
// wait ending by it (TConversionLimits::Deadline), and the child ended at once (Cancelled) when
// `stop` stops.
[[nodiscard]] TRunEnd RunProcessFor(const std::string& program, const std::string& commandLine, uint32_t timeoutMs,
                                    int32_t& exitCode, const TDeadline& deadline = {}, const TStopToken& stop = {});

// --- Conversions ---

std::string BuildConverterCommand(const TPelorinConfig& config, const std::string& inputPath, TViewMode mode,
                                  std::string& outputPath);
// The same with the arguments given and an output file of this extension (".xyz").
std::string BuildConverterCommand(const TPelorinConfig& config, const std::string& inputPath,
                                  const std::string& arguments, const std::string& extension, std::string& outputPath);
[[nodiscard]] bool RunOBabelMode(const std::string& inputPath, TViewMode mode, std::string& outputPath,
                                 std::string& error);
[[nodiscard]] bool RunOBabelMode(const TPelorinConfig& config, const std::string& inputPath, TViewMode mode,
                                 std::string& outputPath, std::string& error, const TConversionLimits& limits = {});
// SVG text of a 2D drawing; no SVG file remains when it returns.
[[nodiscard]] bool RunOBabel(const std::string& inputPath, std::string& svgText, std::string& error,
                             const TConversionLimits& limits = {});
// Path of an STL file that the caller deletes after reading it. A record that already has
// 3D coordinates keeps them: the run goes without --gen3d.
[[nodiscard]] bool RunOBabelSTL(const std::string& inputPath, std::string& stlPath, std::string& error,
                                const TConversionLimits& limits = {});
// Path of an XYZ file (element and position per atom of the first record) that the caller
// deletes after reading it: the 3D command line with ".xyz" output (AtomListArguments), the
// same runner, limits, messages, fall-back without --gen3d and clean-up as the STL's.
[[nodiscard]] bool RunOBabelXYZ(const std::string& inputPath, std::string& xyzPath, std::string& error,
                                const TConversionLimits& limits = {});

#endif  // _WIN32

}  // namespace pelorin
