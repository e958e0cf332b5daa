// Tests of the XYZ reader and survey: records good and hostile, atom values, titles and
// elements, files read as far as the record, and the survey's records and atoms, which must be
// the reader's.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "formats/atom_test_util.h"
#include "formats/uMolSurvey.h"
#include "formats/uXYZFormat.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ExpectAtom;
using pelorin_test::MakeAtom;
using pelorin_test::SameAtoms;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

const char* const kTwoRecords =
    "3\n"
    "water and a stray\n"
    "O   0.0  0.0  0.1\n"
    "H   0.8  0.0 -0.5\n"
    "H  -0.8  0.0 -0.5\n"
    "2\n"
    "  chloride  \n"
    "CL  1.5 -2 +3  extra columns 7 8\n"
    "na  0 0 0\n";

struct TXYZCase {
  const char* name;
  std::string text;
  int record;
  bool ok;
  size_t atoms;       // atoms handed back, also on failure
  const char* error;  // a part of the error text ("" when ok)
};

TEST(XYZReader, RecordsGoodAndHostile) {
  const std::string two = kTwoRecords;
  const TXYZCase cases[] = {
      {"first record", two, 0, true, 3, ""},
      {"second record, first skipped", two, 1, true, 2, ""},
      {"past the end", two, 2, false, 0, "record 3 not found: the text holds 2 records"},
      {"negative index", two, -1, false, 0, "record 0 does not exist"},
      {"CR LF, lone CR and blank lines between records", "1\r\na\r\nC 1 2 3\r\n\r\n\n1\rb\rN 4 5 6\r", 1, true, 1, ""},
      {"count larger than the lines left", "5\nt\nC 0 0 0\nC 1 1 1\n", 0, false, 2, "record 1 ends after 2 of 5 atoms"},
      {"absurd count", "4000000000000\nt\nC 0 0 0\n", 0, false, 1, "ends after 1 of 4000000000000 atoms"},
      {"count line only", "2", 0, false, 0, "record 1 ends after 0 of 2 atoms"},
      {"earlier record cut short", "9\nt\nC 0 0 0\n", 1, false, 0, "record 2 not found: record 1 ends before"},
      {"line that is not an atom", "2\nt\nC 0 0\nC 1 1 1\n", 0, false, 0, "line 3 is not an atom"},
      {"count not a number", "three\nt\n", 0, false, 0, "record 1: line 1 should hold the atom count"},
      {"negative count", "-1\nt\n", 0, false, 0, "should hold the atom count"},
      {"no atoms", "0\nempty\n1\nt\nC 0 0 0\n", 0, false, 0, "record 1 has no atoms"},
      {"empty text", "", 0, false, 0, "record 1 not found: the text holds 0 records"},
  };
  for (const TXYZCase& c : cases) {
    SCOPED_TRACE(c.name);
    TAtomArray atoms = {MakeAtom("U", 9, 9, 9)};
    std::string error = "stale";
    EXPECT_EQ(ReadXYZBlock(c.text, c.record, atoms, error), c.ok);
    EXPECT_EQ(atoms.size(), c.atoms);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (c.ok) {
      EXPECT_EQ(error, "");
    }
    // Storage follows the lines read, never the count claimed.
    EXPECT_LE(atoms.capacity(), c.text.size() / 8 + 1);
  }
}

TEST(XYZReader, AtomValuesTitlesAndElements) {
  TAtomArray atoms;
  std::string error, title;
  ASSERT_TRUE(ReadXYZBlock(kTwoRecords, 1, atoms, error, &title));
  EXPECT_EQ(title, "chloride");
  ExpectAtom(atoms[0], "Cl", 1.5f, -2, 3);
  ExpectAtom(atoms[1], "Na", 0, 0, 0);

  // Non-finite or unreadable numbers are stored as 0; the element word may be any case, a
  // label with digits, an atomic number, or nothing the table knows.
  const char* text =
      "6\n\n"
      "C nan inf -1e999\n"
      "c1 0x10 1,5 2.5\n"
      "17 1 2 3\n"
      "* 1 2 3\n"
      "0 1 2 3\n"
      "Uuo 1 2 3\n";
  ASSERT_TRUE(ReadXYZBlock(text, 0, atoms, error, &title));
  EXPECT_EQ(title, "");
  ExpectAtom(atoms[0], "C", 0, 0, 0);
  ExpectAtom(atoms[1], "C", 0, 0, 2.5f);
  ExpectAtom(atoms[2], "Cl", 1, 2, 3);
  ExpectAtom(atoms[3], "Xx", 1, 2, 3);
  ExpectAtom(atoms[4], "Xx", 1, 2, 3);
  ExpectAtom(atoms[5], "Uuo", 1, 2, 3);
}

TEST(XYZReader, FileReadsRecordsAndReportsOpenErrors) {
  TTempDir dir;
  std::string path = dir.File("two.xyz");
  WriteFileBytes(path, kTwoRecords);
  TAtomArray atoms;
  std::string error;
  EXPECT_TRUE(ReadXYZFile(path, 1, atoms, error));
  EXPECT_EQ(atoms.size(), 2u);
  std::string missing = dir.File("missing.xyz");
  EXPECT_FALSE(ReadXYZFile(missing, 0, atoms, error));
  EXPECT_EQ(error.rfind("Cannot open file [" + missing + "]: ", 0), 0u) << error;
  EXPECT_TRUE(atoms.empty());
}

// A file is read only as far as the record needs, in pieces: what is read must still be the whole
// record wherever the pieces end (records of several pieces, lines of CR LF).
TEST(XYZReader, FileReadsMatchTheWholeTextWhereverThePiecesEnd) {
  TTempDir dir;
  std::string xyz;
  for (int record = 0; record < 4; ++record) {
    xyz += "40000\r\nframe " + std::to_string(record) + "\r\n";
    for (int i = 0; i < 40000; ++i)
      xyz += (i % 2 ? "O " : "C ") + std::to_string(record) + " " + std::to_string(i) + " 0.5\r\n";
  }
  ASSERT_GT(xyz.size(), size_t{2} << 20);
  WriteFileBytes(dir.File("trajectory.xyz"), xyz);
  TAtomArray fromFile, fromText;
  std::string error, title;
  for (int record = 0; record < 4; ++record) {
    SCOPED_TRACE(record);
    ASSERT_TRUE(ReadXYZFile(dir.File("trajectory.xyz"), record, fromFile, error, &title)) << error;
    EXPECT_EQ(title, "frame " + std::to_string(record));
    ASSERT_TRUE(ReadXYZBlock(xyz, record, fromText, error)) << error;
    EXPECT_TRUE(SameAtoms(fromFile, fromText));
  }
  EXPECT_FALSE(ReadXYZFile(dir.File("trajectory.xyz"), 4, fromFile, error));
  EXPECT_EQ(error, "record 5 not found: the text holds 4 records");
}

// The survey finds the records the reader finds, and in each the atoms it reads: on multi-frame
// texts with short, empty and broken frames, whole, in pieces of one byte and as files.
TEST(XYZFormat, SurveyCountsTheRecordsAndAtomsTheReaderReads) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"frames with blank lines between, CR LF and CR",
       "2\nfirst\nC 0 0 0\nO 1 0 0\n\n\r\n1\r\nsecond\r\nN 0 0 1\r3\rthird\rH 0 0 0\rH 1 1 1\rH 2 2 2\r"},
      {"a frame with fewer atom lines than its count takes the next frame's lines",
       "3\nshort\nC 0 0 0\n1\nnext\nO 0 0 0\n2\nlast\nN 0 0 0\nN 1 1 1\n"},
      {"an empty frame between two", "1\na\nC 0 0 0\n0\nnothing\n1\nb\nO 0 0 0\n"},
      {"a line that is no atom ends the frame read", "2\nt\nC 0 0 0\nC 1 1\n1\nt\nO 0 0 0\n"},
      {"junk after two frames", "1\na\nC 0 0 0\n1\nb\nO 0 0 0\nthe end\n1\nc\nN 0 0 0\n"},
      {"a count line at the end without its comment", "1\na\nC 0 0 0\n4\n"},
      {"counts with a sign and past 2^64", "+1\na\nC 0 0 0\n99999999999999999999\nb\nO 0 0 0\n"},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("frames.xyz");
    WriteFileBytes(path, c.text);
    const TMolSurvey survey = SurveyRecords(c.text, TMolFormat::Xyz);
    int64_t found = 0;
    for (int record = 0; record < 6; ++record) {
      SCOPED_TRACE(record);
      TAtomArray atoms;
      std::string error;
      const bool ok = ReadXYZBlock(c.text, record, atoms, error);
      const bool missing =
          error.find("not found") != std::string::npos || error.find("atom count") != std::string::npos;
      const std::optional<TRecordSurvey> surveyed = SurveyRecord(c.text, TMolFormat::Xyz, record);
      ASSERT_EQ(surveyed.has_value(), !missing) << error;
      TRecordSurveyor bytes(TMolFormat::Xyz, record);
      for (char ch : c.text) bytes.Feed(std::string_view(&ch, 1));
      EXPECT_EQ(bytes.Finish().has_value(), !missing);
      EXPECT_EQ(SurveyFileRecord(path, record).has_value(), !missing);
      if (missing) continue;
      ++found;
      EXPECT_EQ(surveyed->AtomCount, static_cast<int64_t>(atoms.size())) << error;
      EXPECT_EQ(surveyed->AtomCountKnown, ok || error.find("has no atoms") != std::string::npos) << error;
      EXPECT_TRUE(surveyed->Has3D);
    }
    EXPECT_EQ(survey.RecordCount, found);
    EXPECT_EQ(SurveyFileRecords(path)->RecordCount, found);
  }
}

}  // namespace
}  // namespace pelorin
