// Converter command lines: quoting, output substitution, token removal, line breaks;
// the sliced wait of the runner.
#include <gtest/gtest.h>

#include "convert/uConverter.h"

using namespace pelorin;

TEST(CommandLine, QuoteIfBlank) {
  EXPECT_EQ(QuoteIfBlank("C:\\OpenBabel\\obabel.exe"), "C:\\OpenBabel\\obabel.exe");
  EXPECT_EQ(QuoteIfBlank("C:\\Program Files\\x.exe"), "\"C:\\Program Files\\x.exe\"");
  EXPECT_EQ(QuoteIfBlank(""), "");
}

TEST(CommandLine, SubstituteOutput) {
  struct {
    const char* args;
    const char* out;
    const char* expected;
  } cases[] = {
      {"-O tempfile.svg --gen2d", "C:\\t\\a.svg", "-O C:\\t\\a.svg --gen2d"},
      {"-O tempfile.stl --gen3d", "C:\\my temp\\a.stl", "-O \"C:\\my temp\\a.stl\" --gen3d"},
      {"--gen2d", "C:\\t\\a.svg", "--gen2d -O C:\\t\\a.svg"},
      {"  --gen2d  ", "C:\\t\\a.svg", "--gen2d -O C:\\t\\a.svg"},
      {"--gen2d -O", "o.svg", "--gen2d -O -O o.svg"},  // "-O" without a blank is no output option
      {"-O  --gen2d", "o.svg", "-O o.svg --gen2d"},    // empty old name
      {"-o x.svg", "o.svg", "-o x.svg -O o.svg"},      // case matters
      {"--gen2d -O old.svg", "o.svg", "--gen2d -O o.svg"},
      {"-O \"a b.svg\" --x", "o.svg", "-O o.svg b.svg\" --x"},  // quotes are not understood
  };
  for (const auto& c : cases) EXPECT_EQ(SubstituteOutput(c.args, c.out), c.expected) << c.args;
}

TEST(CommandLine, RemoveToken) {
  struct {
    const char* args;
    const char* word;
    const char* expected;
  } cases[] = {
      {"-O tempfile.stl --gen3d", "--gen3d", "-O tempfile.stl"},
      {"--GEN3D -O x.stl", "--gen3d", "-O x.stl"},
      {"-O x.stl --gen3d --best --gen3D", "--gen3d", "-O x.stl --best"},
      {"-O x.stl --gen3dx", "--gen3d", "-O x.stl --gen3dx"},
      {"  --gen3d  ", "--gen3d", ""},
      {"a --gen3d  b", "--gen3d", "a  b"},  // one pass over double blanks: three become two
      {"-O x.stl", "--gen3d", "-O x.stl"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoveToken(c.args, c.word), c.expected) << c.args;
}

TEST(CommandLine, ThreeDAndAtomListArguments) {
  const std::string args = "-O tempfile.stl --gen3d";
  EXPECT_EQ(ThreeDArguments(args, false), args);
  EXPECT_EQ(ThreeDArguments("-O x.stl --GEN3D --best", true), "-O x.stl --best");
  EXPECT_EQ(AtomListArguments(args, false, false), args);
  EXPECT_EQ(AtomListArguments(args, true, false), "-O tempfile.stl");
  EXPECT_EQ(AtomListArguments(args, true, true), "-O tempfile.stl -ab");  // a PDB: no bonds perceived
  // The output name is replaced like any mode's, so the converter writes XYZ by the extension.
  EXPECT_EQ(SubstituteOutput(AtomListArguments(args, true, true), "C:\\T\\o.xyz"), "-O C:\\T\\o.xyz -ab");
}

TEST(CommandLine, BuildCommandLine) {
  TPelorinConfig config;
  config.OBabelPath = "C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe";
  config.OBabelOpts = "  -xC ";
  EXPECT_EQ(BuildCommandLine(config, "C:\\mols\\caffeine.mol", "-O tempfile.svg --gen2d", "C:\\T\\o.svg"),
            "\"C:\\Program Files\\OpenBabel-3.1.1\\obabel.exe\" C:\\mols\\caffeine.mol -O C:\\T\\o.svg --gen2d -xC");
  config.OBabelPath = "obabel.exe";
  config.OBabelOpts = "   ";
  EXPECT_EQ(BuildCommandLine(config, "C:\\my mols\\a.sdf", "--gen2d", "C:\\T\\o.svg"),
            "obabel.exe \"C:\\my mols\\a.sdf\" --gen2d -O C:\\T\\o.svg");
}

TEST(CommandLine, NormalizeLineBreaks) {
  EXPECT_EQ(NormalizeLineBreaks("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(NormalizeLineBreaks("a\n\nb\n"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(NormalizeLineBreaks(""), "");
}

TEST(WaitWithDeadline, SlowSlicesDoNotStretchTheLimit) {
  // With the usual 15.6 ms timer a 50 ms wait lasts about 62 ms.
  uint64_t clock = 0;
  auto now = [&] { return clock; };
  auto slowSlice = [&](uint32_t ms) {
    clock += ms + 12;
    return false;
  };
  auto never = [] { return false; };
  EXPECT_FALSE(WaitWithDeadline(1500, 50, now, slowSlice, never));
  EXPECT_GE(clock, 1500u);
  EXPECT_LE(clock, 1500u + 50 + 12);

  // The awaited event ends the wait at once, and so does a stop request between slices.
  clock = 0;
  int slices = 0;
  auto eventInThirdSlice = [&](uint32_t ms) {
    clock += ms;
    return ++slices == 3;
  };
  EXPECT_TRUE(WaitWithDeadline(1500, 50, now, eventInThirdSlice, never));
  EXPECT_EQ(clock, 150u);
  clock = 0;
  EXPECT_FALSE(WaitWithDeadline(1500, 50, now, slowSlice, [&] { return clock >= 200; }));
  EXPECT_LT(clock, 300u);
}
