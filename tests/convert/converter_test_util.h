// Shared set-up for the Windows converter tests: a private temporary folder, the
// debug log in it, and a configuration that points at a chosen converter.
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
    pelorin::TPelorinConfig c;
    c.OBabelPath = pelorin::testpaths::BridgeExe();
    c.CmdLine2D = pelorin::kDefaultCmdLine2D;
    c.CmdLine3D = pelorin::kDefaultCmdLine3D;
    c.OBabelOpts = pelorin::kDefaultOBabelOpts;
    c.TempDir = temp_.Dir();
    c.Logging = true;
    pelorin::StoreConfig(c);
    std::filesystem::create_directories(logDir_.Path());
    pelorin::DebugLogSetup(logDir_.Dir(), true);
  }
  void TearDown() override {
    pelorin::DebugLogClose();
    pelorin::SetRunLimits({});
    // Whatever happened, no temporary file of a conversion may be left behind.
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path()))
      ADD_FAILURE() << "left behind: " << entry.path().string();
  }
  void UseConverter(const std::string& path) {
    pelorin::TPelorinConfig c = pelorin::ConfigSnapshot();
    c.OBabelPath = path;
    pelorin::StoreConfig(c);
  }
  void UseTempDir(const std::string& dir) {
    pelorin::TPelorinConfig c = pelorin::ConfigSnapshot();
    c.TempDir = dir;
    pelorin::StoreConfig(c);
  }
  void UseCmdLine3D(const std::string& args) {
    pelorin::TPelorinConfig c = pelorin::ConfigSnapshot();
    c.CmdLine3D = args;
    pelorin::StoreConfig(c);
  }
  std::string Log() const { return ReadFileBytes(logDir_.File("pelorindebug.log")); }
  std::string TempDir() const { return temp_.Dir(); }

  TTempDir temp_;
  TTempDir logDir_;
};

}  // namespace pelorin_test
