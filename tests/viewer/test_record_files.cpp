// Converting one record of a multi-record file through a temporary record file (a record that is
// the whole file through the file itself), and the text a copy takes of the shown record.
#include <chrono>

#include "convert/converter_test_util.h"
#include "formats/uRecordIndex.h"
#include "lattice_pdb.h"
#include "test_helpers.h"
#include "viewer/uClipboard.h"
#include "viewer/uRecordFiles.h"
#include "viewer/uWin32Window.h"

using pelorin_test::CountOf;
using namespace pelorin;
using pelorin_test::ConverterTest;

using RecordFileTest = ConverterTest;

namespace {

// A window's state for `file` with its record pass complete.
void OpenRecords(TPelorinState& state, const std::string& file, TRecordRule rule = TRecordRule::kSDF) {
  state.FileName = file;
  state.Records = std::make_shared<TRecordIndex>(file, rule);
  ASSERT_EQ(BuildRecordIndex(*state.Records), TRecordIndexState::kComplete);
  state.RecordCount = SteppedRecordCount(rule, state.Records->Count());
}

}  // namespace

TEST_F(RecordFileTest, SecondOfThreeRecordsIsConvertedAloneAndItsFileRemoved) {
  TPelorinState state;
  OpenRecords(state, testpaths::SamplePath("three.sdf"));
  ASSERT_EQ(state.RecordCount, 3);
  state.ShownRecord = 1;
  std::string svg, error;
  ASSERT_TRUE(ConvertRecord2D(&state, svg, error)) << error;
  EXPECT_NE(svg.find(">aspirin</text>"), std::string::npos);
  EXPECT_EQ(svg.find(">caffeine</text>"), std::string::npos);
  EXPECT_EQ(svg.find(">ethanol</text>"), std::string::npos);
  EXPECT_EQ(CountOf(svg, "<g "), 1u);  // one molecule, not a grid
  std::string log = Log();
  EXPECT_NE(log.find("RunOBabelMode: InputFile=[" + temp_.Dir() + "pelorin_mol_"), std::string::npos) << log;
  // TearDown checks that no ".mol" (or any other) file is left in the temporary folder.
}

TEST_F(RecordFileTest, FileWithoutRecordsIsConvertedDirectly) {
  TPelorinState state;
  state.FileName = testpaths::SamplePath("caffeine.mol");
  std::string svg, error;
  ASSERT_TRUE(ConvertRecord2D(&state, svg, error)) << error;
  EXPECT_NE(Log().find("RunOBabelMode: InputFile=[" + state.FileName + "]"), std::string::npos);
  EXPECT_FALSE(ConvertRecord2D(nullptr, svg, error));
}

// A record that is all of its file is converted from the file itself (nothing is copied, a large
// frame is not read twice), unless its input is not the file's text (an SDF record goes as a
// molfile, its text giving the record's data; an XYZ frame from its count line; a CML molecule
// from its element); a record of several is copied.
TEST_F(RecordFileTest, ARecordThatIsTheWholeFileIsItsOwnInput) {
  using pelorin_test::ReadFileBytes;
  using pelorin_test::WriteFileBytes;
  pelorin_test::TTempDir dir;
  const std::string oneFrame = dir.File("one.xyz"), twoFrames = dir.File("two.xyz"), blankFirst = dir.File("blank.xyz"),
                    oneRecord = dir.File("one.sdf");
  const std::string frame = "3\nwater\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n";
  WriteFileBytes(oneFrame, frame);
  WriteFileBytes(twoFrames, frame + frame);
  WriteFileBytes(blankFirst, " \r\n" + frame);
  WriteFileBytes(oneRecord, ReadFileBytes(testpaths::SamplePath("caffeine.mol")) + "$$$$\n");
  const struct {
    const char* Name;
    std::string File;
    TRecordRule Rule;
    bool Itself;
  } cases[] = {
      {"a PDB of one model", testpaths::SamplePath("ethanol.pdb"), TRecordRule::kPDB, true},
      {"an XYZ of one frame", oneFrame, TRecordRule::kXYZ, true},
      {"the first of two frames", twoFrames, TRecordRule::kXYZ, false},
      {"a frame after a blank line", blankFirst, TRecordRule::kXYZ, false},  // its input starts at the count
      {"an SDF of one record", oneRecord, TRecordRule::kSDF, false},
      {"a CML of one molecule", testpaths::SamplePath("water.cml"), TRecordRule::kCML, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordIndex records(c.File, c.Rule);
    ASSERT_EQ(BuildRecordIndex(records), TRecordIndexState::kComplete);
    std::string input, error, text;
    TFileRemover remover("");
    ASSERT_TRUE(MakeRecordInput(c.File, &records, 0, input, remover, error, {}, &text)) << error;
    EXPECT_EQ(input == c.File, c.Itself) << input;
    EXPECT_EQ(text.empty(), c.Itself);
  }
}

TEST_F(RecordFileTest, UnwritableRecordFileStopsBeforeTheConverter) {
  Configure([this](TPelorinConfig& c) { c.TempDir = temp_.Dir() + "missing\\"; });
  TPelorinState state;
  OpenRecords(state, testpaths::SamplePath("three.sdf"));
  std::string svg, error;
  EXPECT_FALSE(ConvertRecord2D(&state, svg, error));
  EXPECT_EQ(error.rfind("Temp file write error: ", 0), 0u) << error;
  EXPECT_EQ(Log().find("RunProcessWait"), std::string::npos);
}

namespace {

// Text as the copy delivers it: every line followed by CR LF.
std::string CrLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\n' || text[i] == '\r' ? std::string("\r\n") : std::string(1, text[i]);
  }
  return out;
}

}  // namespace

// A copy's text is the shown record's own text from the file, whatever the format; the
// converter's SMILES follows that of a small MOL2, PDB, XYZ or CML molecule, and is left out when
// the converter fails.
TEST_F(RecordFileTest, CopyTextIsTheShownRecordsOwnText) {
  using pelorin_test::ReadFileBytes;
  using pelorin_test::WriteFileBytes;
  const std::string pdbAtom = "ATOM      1  O   HOH A   1       1.000   1.000   1.000  1.00  0.00           O\n";
  const std::string mol2 = ReadFileBytes(testpaths::SamplePath("aspirin.mol2"));
  const std::string xyz = ReadFileBytes(testpaths::SamplePath("benzene.xyz"));
  const std::string cml = ReadFileBytes(testpaths::SamplePath("water.cml"));
  const struct {
    const char* Name;
    std::string File, Text;  // Text: the file's own, written to a file of that name when given
    TRecordRule Rule;        // of the window's index (a file with records), else unused
    int32_t Index;
    std::string Record;
    bool Smiles;
  } cases[] = {
      {"MOL", testpaths::SamplePath("caffeine.mol"), "", TRecordRule::kSDF, -1,
       CrLf(ReadFileBytes(testpaths::SamplePath("caffeine.mol"))), false},
      {"SDF record", testpaths::SamplePath("three.sdf"), "", TRecordRule::kSDF, 2, "", false},
      {"SMILES line", "many.smi", std::string(14, 'C') + "\n" + "CC\nCCC\nCCCC\nC1CC1\nN\nO\nS\nP\nF\nCl\nBr\nI\nCO\n",
       TRecordRule::kSMILES, 4, "C1CC1\r\n", false},
      {"SMILES grid: the file's lines", testpaths::SamplePath("molecules.smi"), "", TRecordRule::kSMILES, 0,
       CrLf(ReadFileBytes(testpaths::SamplePath("molecules.smi"))), false},
      {"MOL2: the first molecule", "two.mol2", mol2 + mol2, TRecordRule::kSDF, -1, CrLf(mol2), true},
      {"PDB: the first model", "models.pdb", "MODEL 1\n" + pdbAtom + "ENDMDL\nMODEL 2\n" + pdbAtom + "ENDMDL\n",
       TRecordRule::kSDF, -1, CrLf("MODEL 1\n" + pdbAtom + "ENDMDL\n"), true},
      {"XYZ: the first frame", "frames.xyz", xyz + xyz, TRecordRule::kSDF, -1, CrLf(xyz), true},
      {"CML: the first molecule element", "two.cml", cml + cml, TRecordRule::kSDF, -1,
       CrLf(cml.substr(cml.find("<molecule"), cml.find("</molecule>") + 11 - cml.find("<molecule"))) + "\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPelorinState state;
    state.FileName = c.File;
    if (!c.Text.empty()) {
      state.FileName = temp_.Dir() + c.File;
      WriteFileBytes(state.FileName, c.Text);
    }
    TFileRemover file(c.Text.empty() ? "" : state.FileName);
    if (c.Index >= 0) {
      OpenRecords(state, state.FileName, c.Rule);
      state.ShownRecord = c.Index;
    }
    std::string record = c.Record, error;
    if (record.empty()) {
      ASSERT_TRUE(state.Records->ReadRecord(c.Index, record, error)) << error;
    }
    std::string text, message;
    const size_t runsBefore = CountOf(Log(), "RunProcessWait: CMD=");
    ASSERT_TRUE(RecordTextForCopy(state, text, message)) << message;
    ASSERT_EQ(text.substr(0, record.size()), record);
    const std::string smiles = text.substr(record.size());
    EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD="), runsBefore + (c.Smiles ? 1 : 0));
    if (c.Smiles) {
      EXPECT_EQ(smiles.find_first_of(" \t\r\n"), smiles.size() - 2) << smiles;
      EXPECT_EQ(smiles.substr(smiles.size() - 2), "\r\n");
    } else {
      EXPECT_EQ(smiles, "");
    }
  }

  // A converter that fails leaves the SMILES out, not the copy.
  UseConverter(testpaths::Exit1StandInExe());
  TPelorinState state;
  state.FileName = testpaths::SamplePath("aspirin.mol2");
  std::string text, message;
  ASSERT_TRUE(RecordTextForCopy(state, text, message)) << message;
  EXPECT_EQ(text, CrLf(mol2));
  EXPECT_NE(Log().find("CopyToClipboard: no SMILES added: obabel exit code=1"), std::string::npos) << Log();
}

// A large molecule is copied at once: its text without the converter's SMILES; a record of more
// than 8 MB as its picture only, read no further than the bound.
TEST_F(RecordFileTest, CopyOfALargeMoleculeRunsNoConverter) {
  using pelorin_test::WriteFileBytes;
  const std::string protein = temp_.Dir() + "protein.pdb", huge = temp_.Dir() + "huge.pdb";
  TFileRemover proteinFile(protein), hugeFile(huge);
  WriteFileBytes(protein, lattice::LatticePDBText(20000));
  WriteFileBytes(huge, lattice::LatticePDBText(110000));  // about 9 MB
  const size_t runsBefore = CountOf(Log(), "RunProcessWait: CMD=");
  TPelorinState state;
  state.FileName = protein;
  std::string text, message;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RecordTextForCopy(state, text, message)) << message;
  EXPECT_EQ(text, CrLf(lattice::LatticePDBText(20000)));
  state.FileName = huge;
  ASSERT_TRUE(RecordTextForCopy(state, text, message)) << message;
  EXPECT_EQ(text, "");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
  EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD="), runsBefore);
  EXPECT_NE(Log().find("CopyToClipboard: no SMILES added: the record has 20000 atoms"), std::string::npos);
  EXPECT_NE(Log().find("CopyToClipboard: the record is larger than 8 MB: only the picture is copied"),
            std::string::npos);
}
