// Tests of the text-scanning toolkit: lines whole and in pieces cut anywhere, line limits,
// words and columns, counts and numbers, files fed in pieces.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "formats/uTextScan.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

// A line as a walker handed it: its head, and "+" when a non-blank tail was cut off.
using TLines = std::vector<std::string>;
std::string Shown(const TLine& line) {
  return std::string(line.Head) + (line.TailNonBlank ? "+" : "");
}

// The lines of `text`, made here by plain string handling: the oracle of the walkers.
TLines ReferenceLines(const std::string& text, size_t maxLine = kNoLineLimit, bool skipLeadingBlanks = false) {
  TLines lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t lineBreak = text.find_first_of("\r\n", at);
    size_t end = lineBreak == std::string::npos ? text.size() : lineBreak;
    std::string line = text.substr(at, end - at);
    size_t blanks = 0;
    while (skipLeadingBlanks && blanks < line.size() && IsBlankChar(line[blanks])) ++blanks;
    line.erase(0, blanks);
    std::string head = line.substr(0, maxLine);
    bool tail = line.size() > head.size() && HasNonBlank(std::string_view(line).substr(head.size()));
    lines.push_back(head + (tail ? "+" : ""));
    if (lineBreak == std::string::npos) break;
    at = lineBreak + (text.compare(lineBreak, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

TLines InPieces(const std::string& text, const std::vector<size_t>& cuts, size_t maxLine, bool skipLeadingBlanks) {
  TLines lines;
  TLineSplitter splitter(maxLine, skipLeadingBlanks);
  auto take = [&lines](const TLine& line) {
    lines.push_back(Shown(line));
    return true;
  };
  size_t at = 0;
  for (size_t cut : cuts) {
    splitter.Feed(std::string_view(text).substr(at, cut - at), take);
    at = cut;
  }
  splitter.FeedLast(std::string_view(text).substr(at), take);
  return lines;
}

// Every text cut at every place into two pieces, and into pieces of 1 to 4 bytes, with and
// without a limit and the skipping of leading blanks, must give the oracle's lines.
TEST(TextLines, PiecesCutAnywhereGiveTheLinesOfTheWholeText) {
  const std::string texts[] = {
      "",
      "one line",
      "a\nb\r\nc\rd",
      "\r\n\r\n\n\r\r",
      "ends in CR LF\r\n",
      "ends in CR\r",
      "  \t lead\n\t\n   \r x y \r\n",
      std::string("nul \0 inside\nlong line with words\r\n", 36),
  };
  for (const std::string& text : texts) {
    for (size_t maxLine : {kNoLineLimit, size_t{3}}) {
      for (bool skip : {false, true}) {
        SCOPED_TRACE(testing::Message() << "[" << text << "] limit " << maxLine << (skip ? ", skipping blanks" : ""));
        const TLines want = ReferenceLines(text, maxLine, skip);
        EXPECT_EQ(InPieces(text, {}, maxLine, skip), want);
        for (size_t cut = 0; cut <= text.size(); ++cut) EXPECT_EQ(InPieces(text, {cut}, maxLine, skip), want) << cut;
        for (size_t step = 1; step <= 4; ++step) {
          std::vector<size_t> cuts;
          for (size_t at = step; at < text.size(); at += step) cuts.push_back(at);
          EXPECT_EQ(InPieces(text, cuts, maxLine, skip), want) << step;
        }
        if (maxLine == kNoLineLimit && !skip) {
          TLines whole;
          ForEachLine(text, [&whole](const TLine& line) {
            whole.push_back(Shown(line));
            return true;
          });
          EXPECT_EQ(whole, want);
        }
      }
    }
  }
}

TEST(TextLines, CutLinesAreNeverBlankAndAWalkStopsWhenAsked) {
  TLineSplitter lines(4);
  std::vector<std::string> heads;
  auto take = [&](const TLine& line) {
    heads.push_back(std::string(line.Head));
    return line.Head != "stop";
  };
  EXPECT_TRUE(lines.Feed("$$$$      \n  ", [&](const TLine& line) {
    EXPECT_TRUE(line.Head == "$$$$" && !line.TailNonBlank && !line.Blank());
    return true;
  }));
  EXPECT_FALSE(lines.AtLineStart());
  EXPECT_TRUE(lines.Feed("        x\n", [&](const TLine& line) {
    EXPECT_TRUE(line.Head == "    " && line.TailNonBlank && !line.Blank());
    return true;
  }));
  EXPECT_TRUE(lines.AtLineStart());
  EXPECT_FALSE(ForEachLine("a\nstop\nnever\n", take));
  EXPECT_EQ(heads, (std::vector<std::string>{"a", "stop"}));
}

TEST(TextWords, WordsAndColumns) {
  TWords words(" \tC  1.5\r-2 ");
  std::string_view word;
  std::vector<std::string> all;
  while (words.Next(word)) all.push_back(std::string(word));
  EXPECT_EQ(all, (std::vector<std::string>{"C", "1.5", "-2"}));
  EXPECT_EQ(WordAt("a b c", 2), "c");
  EXPECT_EQ(WordAt("a b c", 3), "");
  EXPECT_EQ(Columns("ATOM      1", 1, 6), "ATOM  ");
  EXPECT_EQ(Columns("ATOM      1", 8, 20), "   1");
  EXPECT_EQ(Columns("ATOM", 5, 6), "");
  EXPECT_EQ(TrimLeftView("  \tx "), "x ");
}

TEST(TextNumbers, CountsAndDecimals) {
  const std::pair<const char*, std::optional<uint64_t>> counts[] = {
      {"12", 12},
      {" +7\t", 7},
      {"0", 0},
      {"18446744073709551615", UINT64_MAX},
      {"", {}},
      {"+", {}},
      {"-1", {}},
      {"18446744073709551616", {}},
      {"1x", {}},
      {"1 2", {}},
      {"99999999999999999999999", {}},
  };
  for (const auto& [text, count] : counts) EXPECT_EQ(ParseCount(text), count) << "[" << text << "]";
  const std::pair<const char*, std::optional<bool>> decimals[] = {
      {"0.000", false}, {"-0", false},  {" +0.0e5 ", false}, {"1e-999", true}, {".5", true},
      {"-12.", true},   {"3E+2", true}, {".", {}},           {"1e", {}},       {"inf", {}},
      {"nan", {}},      {"0x10", {}},   {"1 2", {}},         {"", {}},         {"--1", {}},
  };
  for (const auto& [text, nonZero] : decimals) EXPECT_EQ(ParseDecimalIsNonZero(text), nonZero) << "[" << text << "]";
}

TEST(TextNumbers, FloatsWhateverTheirFormAndZeroForTheRest) {
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"1.5", 1.5f}, {" -2 ", -2.0f}, {"3e-1", 0.3f}, {"-1.25E+02", -125.0f}, {"+4", 4.0f},   {".5", 0.5f},
      {"7.", 7.0f},  {"\t0\r", 0.0f}, {"", 0.0f},     {"abc", 0.0f},          {"1,5", 0.0f},  {"1.5x", 0.0f},
      {"nan", 0.0f}, {"-inf", 0.0f},  {"1e50", 0.0f}, {"+-1", 0.0f},          {"0x10", 0.0f}, {"1 2", 0.0f},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(ParseFloat(c.text), c.value) << "[" << c.text << "]";
  // In a list, a word ends at a blank or a comma; one that is no number is passed over whole.
  const std::string list = "1.5,x2 -3";
  const char* p = list.data();
  const char* end = p + list.size();
  EXPECT_FLOAT_EQ(ReadFloatWord(p, end), 1.5f);
  EXPECT_EQ(*p, ',');
  ++p;
  EXPECT_FLOAT_EQ(ReadFloatWord(p, end), 0);
  EXPECT_EQ(*p, ' ');
  ++p;
  EXPECT_FLOAT_EQ(ReadFloatWord(p, end), -3);
  EXPECT_EQ(p, end);
}

TEST(TextFiles, FedInPiecesAsFarAsWantedWithReasonsForFailures) {
  TTempDir dir;
  const std::string path = dir.File("lines.txt");
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\r");
  ASSERT_GT(text.size(), 2 * 4096u);
  WriteFileBytes(path, text);
  // Pieces of 4 KB, the whole file at once, and a stop after the first piece.
  for (size_t most : {size_t{4096}, kReadChunkSize}) {
    std::string got;
    size_t pieces = 0;
    EXPECT_EQ(FeedFile(
                  path,
                  [&](std::string_view piece) {
                    got += piece;
                    ++pieces;
                    return true;
                  },
                  most),
              TFeedResult::kRead);
    EXPECT_EQ(got, text);
    EXPECT_EQ(pieces, most == 4096 ? (text.size() + 4095) / 4096 : 1u);
  }
  size_t pieces = 0;
  EXPECT_EQ(FeedFile(
                path, [&](std::string_view) { return ++pieces < 1; }, 1),
            TFeedResult::kRead);
  EXPECT_EQ(pieces, 1u);

  std::string error;
  size_t lines = 0;
  EXPECT_TRUE(ReadFileLines(
      path, [&](const TLine& line) { return line.Head == "line " + std::to_string(lines++); }, error));
  EXPECT_EQ(lines, 30000u);
  const std::string missing = dir.File("missing.txt");
  EXPECT_FALSE(ReadFileLines(
      missing, [](const TLine&) { return true; }, error));
  EXPECT_EQ(error, "Cannot open file [" + missing + "]: " + std::strerror(ENOENT));
  EXPECT_EQ(FeedFile(missing, [](std::string_view) { return true; }), TFeedResult::kCannotOpen);
}

}  // namespace
}  // namespace pelorin
