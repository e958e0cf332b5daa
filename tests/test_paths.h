// Where Windows tests find the converter bridge, the stand-in converters and the samples.
#pragma once

#ifdef _WIN32

#include <string>

// PELORIN_TOOLS_DIR and PELORIN_SAMPLES_DIR come from pelorin_add_test (tests/CMakeLists.txt):
// folders of the build and the source tree as Windows paths through Wine's Z: drive.
#if !defined(PELORIN_TOOLS_DIR) || !defined(PELORIN_SAMPLES_DIR)
#error "test_paths.h needs a test program made by pelorin_add_test"
#endif

namespace pelorin::testpaths {

inline std::string ToolsDir() {
  return PELORIN_TOOLS_DIR;
}
inline std::string SamplesDir() {
  return PELORIN_SAMPLES_DIR;
}
inline std::string SamplePath(const std::string& name) {
  return SamplesDir() + "\\" + name;
}

// obabel.exe that runs the machine's real converter.
inline std::string BridgeExe() {
  return ToolsDir() + "\\bridge\\obabel.exe";
}

// Stand-ins by kind: "sleep", "exit1", "exit2", "empty", "stderr", "nogen3d", "marker", "count".
inline std::string StandInExe(const std::string& kind) {
  return ToolsDir() + "\\standins\\obabel-" + kind + ".exe";
}
// Prints "stand-in: sleeping" and sleeps 120 s.
inline std::string SleepStandInExe() {
  return StandInExe("sleep");
}
// Print one line to each stream, write no output file, exit 1 or 2.
inline std::string Exit1StandInExe() {
  return StandInExe("exit1");
}
inline std::string Exit2StandInExe() {
  return StandInExe("exit2");
}
// Creates the -O file with 0 bytes and exits 0.
inline std::string EmptyStandInExe() {
  return StandInExe("empty");
}
// Prints two lines to standard error only, writes nothing, exits 0.
inline std::string StderrStandInExe() {
  return StandInExe("stderr");
}
// Exits 1 when given --gen3d (any letter case); otherwise runs the real converter.
inline std::string NoGen3DStandInExe() {
  return StandInExe("nogen3d");
}
// Creates "stand-in-ran.txt" beside its program file (whatever it is named) and exits 0.
inline std::string MarkerStandInExe() {
  return StandInExe("marker");
}
inline constexpr const char* kMarkerFileName = "stand-in-ran.txt";
// Adds a line to "stand-in-runs.txt" beside its program file and runs the real converter; while
// "stand-in-hold.txt" lies beside it too, prints "stand-in: sleeping" and sleeps 120 s instead.
inline std::string CountingStandInExe() {
  return StandInExe("count");
}
inline constexpr const char* kRunsFileName = "stand-in-runs.txt";
inline constexpr const char* kHoldFileName = "stand-in-hold.txt";

}  // namespace pelorin::testpaths

#endif  // _WIN32
