// Shared set-up for the Windows tests that convert: a private temporary folder, the debug
// log in a folder of its own, and a configuration that points at a chosen converter.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "convert/uConverter.h"
#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "test_helpers.h"
#include "test_paths.h"
#include "test_temp_dir.h"

namespace pelorin_test {

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseStartMode(pelorin::TViewMode::k2D);
    pelorin::DebugLogSetup(logDir_.Dir(), true);
  }
  void TearDown() override {
    pelorin::DebugLogClose();
    // Whatever happened, no temporary file of a conversion may be left behind. A killed run's
    // capture goes once its whole job has ended: the runner waits one kill's wait for that, a
    // thread of its own another, then tries the deletion for three seconds; a deletion pending
    // when the last copy of the handle closes. The grace covers that whole road and a margin.
    const uint32_t graceMs = 2 * pelorin::GetRunLimits().KillWaitMs + 5000;
    pelorin::SetRunLimits({});
    for (uint32_t waited = 0; waited < graceMs && !std::filesystem::is_empty(temp_.Path()); waited += 100) Sleep(100);
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path()))
      ADD_FAILURE() << "left behind: " << entry.path().string();
  }

  // The whole configuration: the defaults with this start mode and converter.
  void UseStartMode(pelorin::TViewMode mode, const std::string& converter = pelorin::testpaths::BridgeExe()) {
    pelorin::TPelorinConfig c;
    c.OBabelPath = converter;
    c.CmdLine2D = pelorin::kDefaultCmdLine2D;
    c.CmdLine3D = pelorin::kDefaultCmdLine3D;
    c.OBabelOpts = pelorin::kDefaultOBabelOpts;
    c.StartMode = mode;
    c.TempDir = temp_.Dir();
    c.Logging = true;
    pelorin::StoreConfig(c);
  }
  static void UseTempDir(const std::string& dir) {
    Configure([&](pelorin::TPelorinConfig& c) { c.TempDir = dir; });
  }
  // Changes one part of the configuration.
  template <typename TChange>
  static void Configure(TChange change) {
    pelorin::TPelorinConfig c = pelorin::ConfigSnapshot();
    change(c);
    pelorin::StoreConfig(c);
  }
  static void UseConverter(const std::string& path) {
    Configure([&](pelorin::TPelorinConfig& c) { c.OBabelPath = path; });
  }
  static void UseCmdLine3D(const std::string& args) {
    Configure([&](pelorin::TPelorinConfig& c) { c.CmdLine3D = args; });
  }

  std::string Log() const { return ReadFileBytes(logDir_.File("pelorindebug.log")); }
  std::string TempDir() const { return temp_.Dir(); }

  TTempDir temp_;
  TTempDir logDir_;
};

}  // namespace pelorin_test
