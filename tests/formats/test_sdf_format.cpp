// Tests of the SDF module: where SDF records end (whatever the breaks and the chunks read), the one
// end mark the record scanner and the data items' reader share, and the survey of MOL and SDF
// records (atoms, 3D, and what is reported when the bytes hold less than claimed).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/uSDFData.h"
#include "formats/uSDFFormat.h"
#include "record_test_util.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ReadFileBytes;
using namespace record_test;

TEST(SDFFormat, RecordBoundaries) {
  const struct {
    const char* name;
    std::string text;
    TRecords records;
  } cases[] = {
      {"LF", ThreeRecords("\n"), kThreeRecords},
      {"CR", ThreeRecords("\r"), kThreeRecords},
      {"CR LF", ThreeRecords("\r\n"), kThreeRecords},
      {"mixed breaks and blanks or a tab around the end mark",
       "a\r\n  $$$$ \nb\r\t$$$$\t\r\n",
       {"a\r\n  $$$$ \r\n", "b\r\n\t$$$$\t\r\n"}},
      {"end mark with other text on the line, or five dollars, ends nothing",
       "a\n$$$$ next\nx $$$$\n$$$$$\n$$$$\n",
       {"a\r\n$$$$ next\r\nx $$$$\r\n$$$$$\r\n$$$$\r\n"}},
      {"case and count matter", "a\n$$$\n$$ $$\n", {"a\r\n$$$\r\n$$ $$\r\n"}},
      {"trailing blank lines make no record", "a\n$$$$\n\n  \n\t\n", {"a\r\n$$$$\r\n"}},
      {"last record without end mark, last line without break",
       "a\n$$$$\n\nb\nM  END",
       {"a\r\n$$$$\r\n", "\r\nb\r\nM  END\r\n"}},
      {"end mark as the very last bytes", "a\n$$$$", {"a\r\n$$$$\r\n"}},
      {"two end marks in a row", "a\n$$$$\n$$$$\nb\n$$$$\n", {"a\r\n$$$$\r\n", "$$$$\r\n", "b\r\n$$$$\r\n"}},
      {"leading blank lines stay in the record", "\n\n  title\n$$$$\n", {"\r\n\r\n  title\r\n$$$$\r\n"}},
      {"no end mark at all: the whole file", "mol\n  x\nM  END\n", {"mol\r\n  x\r\nM  END\r\n"}},
      {"blank file", " \n\r\n\t\n", {}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Chunks of 1 to 7 bytes cut every end mark and every CR LF at each place.
    ExpectRecords(c.text, c.records, {1, 2, 3, 4, 5, 6, 7, kReadChunkSize});
  }
}

// Lines and breaks that straddle the reader's chunks (1 MiB) must come out as in a short file.
TEST(SDFFormat, LinesAndBreaksAcrossLargeReads) {
  const size_t chunk = 1 << 20;
  std::string text;
  // A CR LF whose CR ends the first chunk and whose LF starts the second.
  std::string longLine(chunk - 1, 'x');
  text = longLine + "\r\n" + "$$$$\n";
  TRecords expected = {longLine + "\r\n$$$$\r\n"};
  // An end mark split over the second and third chunks, then a lone CR at the third's end.
  std::string filler(2 * chunk - text.size() - 4, 'y');
  text += filler + "\n $$";
  text += "$$\n";
  expected.push_back(filler + "\r\n $$$$\r\n");
  std::string tail(3 * chunk - text.size() - 1, 'z');
  text += tail + "\rlast\r";
  expected.push_back(tail + "\r\nlast\r\n");
  ASSERT_EQ(text.find("\n $$"), 2 * chunk - 4);
  ExpectRecords(text, expected, {kReadChunkSize});
}

// Many small records with every kind of break: most lie inside one read, some are cut by a
// read's end, one right after a lone CR, two inside a CR LF, and the last has no end mark.
TEST(SDFFormat, SmallRecordsAcrossLargeReads) {
  const size_t chunk = 1 << 20;
  const char* breaks[] = {"\n", "\r\n", "\r"};
  const char* marks[] = {"$$$$", " $$$$\t"};
  std::string text;
  TRecords expected;
  int k = 0;
  auto addRecords = [&](size_t until) {
    for (; text.size() < until; ++k) {
      std::string want;
      for (int i = 0; i < 1 + k % 7; ++i) {
        bool blank = i % 3 == 2;  // ends with CR LF: a lone LF after a lone CR would join it
        std::string line = blank ? "" : "line " + std::to_string(k) + "." + std::to_string(i);
        text += line + (blank ? "\r\n" : breaks[(k + i) % 3]);
        want += line + "\r\n";
      }
      text += marks[k % 2] + std::string(breaks[k % 3]);
      expected.push_back(want + marks[k % 2] + "\r\n");
    }
  };
  auto addPaddedRecord = [&](size_t breakAt, const std::string& lineBreak) {
    std::string pad(breakAt - text.size(), 'p');
    text += pad + lineBreak + "$$$$\n";
    expected.push_back(pad + "\r\n$$$$\r\n");
  };
  addRecords(chunk - 300);
  addPaddedRecord(chunk - 1, "\r");
  addRecords(2 * chunk - 300);
  addPaddedRecord(2 * chunk - 1, "\r\n");
  addRecords(3 * chunk - 300);
  std::string pad(3 * chunk - 1 - 5 - text.size(), 'q');  // an end mark's CR LF across reads
  text += pad + "\n$$$$\r\n";
  expected.push_back(pad + "\r\n$$$$\r\n");
  addRecords(3 * chunk + chunk / 2);
  text += "tail\r\n\nM  END";
  expected.push_back("tail\r\n\r\nM  END\r\n");
  ASSERT_EQ(text.substr(chunk - 1, 2), "\r$");
  ASSERT_EQ(text.substr(2 * chunk - 1, 3), "\r\n$");
  ASSERT_EQ(text.substr(3 * chunk - 5, 6), "$$$$\r\n");
  ExpectRecords(text, expected, {kReadChunkSize});
}

// Whatever a line holds, the record scanner ends a record at it exactly when the data items' reader
// ends a record's items at it: both ask the one end mark.
TEST(SDFFormat, TheScannerAndTheDataReaderShareTheEndMark) {
  const std::string lines[] = {
      "$$$$", " \t$$$$ ", std::string("\0$$$$\0", 6), "$$$", "$$$$$", "$$ $$", "$$$$ x", "x $$$$", "",
      "  ",   "$$$$\t\t"};
  for (const std::string& line : lines) {
    SCOPED_TRACE("line [" + line + "]");
    const bool mark = IsSDFEndMark(line);
    EXPECT_EQ(SurveyRecords("a\n" + line + "\nb\n", TMolFormat::Sdf).RecordCount, mark ? 2 : 1);
    const TSDFRecordData data = ReadSDFRecordData("t\n\n\n  0  0\nM  END\n> <A>\n1\n\n" + line + "\n> <B>\n2\n");
    EXPECT_EQ(data.Items.size(), mark ? 1u : 2u);
  }
}

const std::string kCaffeine = ReadFileBytes(SamplePath("caffeine.mol"));

// Record counts: SDF records are the record index's (a "$$$$" line ends one, a blank tail is
// none); a MOL file is one record whatever it holds.
TEST(SDFFormat, RecordCounts) {
  ExpectCounts({
      {"SDF, CR only", TMolFormat::Sdf, WithBreaks(kCaffeine + "$$$$\n" + kCaffeine + "$$$$\n", "\r"), 2, true},
      {"SDF, CR LF", TMolFormat::Sdf, WithBreaks(kCaffeine + "$$$$\n" + kCaffeine, "\r\n"), 2, true},
      {"SDF marks with blanks, text after a mark, five dollars", TMolFormat::Sdf,
       "a\n \t$$$$ \nb\n$$$$ next\n$$$$$\n$$$$", 2, true},
      {"SDF, two marks in a row, blank tail", TMolFormat::Sdf, "a\n$$$$\n$$$$\n \n\t\n", 2, true},
      {"SDF, mark as the last bytes, NULs count as blanks", TMolFormat::Sdf, std::string("a\n\0$$$$\0", 8), 1, true},
      {"SDF blank", TMolFormat::Sdf, " \r\n\t\n", 0, true},
      {"MOL with marks is one record", TMolFormat::Mol, "a\n$$$$\nb\n$$$$\n", 1, true},
  });
}

// Atom counts and 3D of V2000 and V3000 records, and what is reported when the bytes hold less
// than claimed.
TEST(SDFFormat, RecordSurveys) {
  const std::string v3000Head = "t\n  Prog  0101010000\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n";
  ExpectSurveys({
      {"V2000 dimension code 3D, flat atoms", TMolFormat::Mol, V2000("  Prog    01010100003D", " 2  1", {kFlat, kFlat}),
       0, Atoms(2, true, true)},
      {"V2000 2D code, one lifted atom", TMolFormat::Mol, V2000("  Prog    01010100002D", "  2  1", {kFlat, kLifted}),
       0, Atoms(2, true, true)},
      {"V2000 claims 999 atoms, holds 2", TMolFormat::Mol, V2000("", "999  1", {kFlat, kFlat}), 0,
       Atoms(2, false, false)},
      {"V2000 claims more than the file's end allows", TMolFormat::Sdf, "t\n\n\n  5  0\n" + kFlat + "\n", 0,
       Atoms(1, false, false)},
      {"V2000 without a counts line", TMolFormat::Sdf, "t\nh\n$$$$\n", 0, Atoms(0, false, false)},
      {"V2000 counts line no number", TMolFormat::Sdf, "t\nh\n\n  x  1\n" + kFlat + "\n", 0, Atoms(0, false, false)},
      {"record of blank lines ended by a mark", TMolFormat::Sdf, "a\n$$$$\n\n\n\n\n$$$$\n", 1, Atoms(0, false, false)},
      {"blank tail after the last mark is no record", TMolFormat::Sdf, "a\n$$$$\n\n\n\n\n", 1, std::nullopt},
      {"V2000, CR only, second record", TMolFormat::Sdf, WithBreaks("x\n$$$$\n" + V2000("", "  1  0", {kLifted}), "\r"),
       1, Atoms(1, true, true)},
      {"V3000 with a continued atom entry", TMolFormat::Sdf,
       v3000Head + "M  V30 COUNTS 2 0 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 NOT [N,O] 1.0 2.0 -\n"
                   "M  V30 0.5 0\nM  V30 END ATOM\nM  END\n",
       0, Atoms(2, true, true)},
      {"V3000 claims 5 atoms, holds 1", TMolFormat::Mol,
       v3000Head + "M  V30 COUNTS 5 0 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 END ATOM\nM  END\n", 0,
       Atoms(1, false, false)},
      {"V3000 count past int64", TMolFormat::Mol,
       v3000Head + "M  V30 COUNTS 99999999999999999999999 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 1e-3 0\n", 0,
       Atoms(1, false, true)},
  });
}

}  // namespace
}  // namespace pelorin
