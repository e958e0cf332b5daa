// What kind of molecule file a file is: its format, told from its name, and everything that follows
// from the format wherever the plugin needs it, kept in one table with a row per format (how the
// viewer cuts it into records, what a record's converter input is, whether its atoms can be read
// straight from it, which text it copies, where a search looks). A new format is one row and its
// module; callers ask the row, never compare formats or record rules themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

enum class TMolFormat { Unknown, Mol, Sdf, Mol2, Smiles, Pdb, Xyz, Cml };

// The format a file name's extension names, in any letter case: .mol .sdf .mol2 .smi .smiles
// .pdb .xyz .cml; Unknown for any other name.
TMolFormat MolFormatFromFileName(std::string_view fileName);

// True when the file begins like a compiler's program database (debug symbols, which share
// the extension ".pdb" with Protein Data Bank files): "Microsoft C/C++ MSF 7.00" or the
// older "Microsoft C/C++ program database 2.00". Reads only the first bytes.
bool IsProgramDatabaseFile(const std::string& fileName);

// How a file is cut into records (the molecules the converter reads one after the other).
enum class TRecordRule : uint8_t {
  kSDF,     // "$$$$" lines end records (SDF)
  kSMILES,  // every non-blank line is one
  kMOL2,    // each @<TRIPOS>MOLECULE section is one
  kXYZ,     // a count line, a comment line and as many atom lines as the count says
  kPDB,     // models: an ENDMDL line ends one, an END line the last; a record holds atoms
  kCML,     // each top-level <molecule> element is one
};

// Where a search looks for its text in a record.
enum class TSearchPlaces : uint8_t {
  kMolfile,   // the title, then each data item's name and value lines (MOL, SDF)
  kTextLine,  // the record's one line that holds more than blanks, counted as line 0 (SMILES)
  kLines,     // every line of the record's text
};

// Which line the viewer logs once it knows how many records a file has.
enum class TCountLine : uint8_t {
  kSDFSplit,     // "SDF split: N molecules"
  kSMILESLines,  // "SMILES lines: N (stepped | drawn as one grid)"
  kRecords,      // "Records: N (word)"
};

// When a record that is the whole file is its own converter input: its input would hold the
// file's own text, so the file itself is handed over and a large record is neither copied nor read
// twice.
enum class TWholeFileInput : uint8_t {
  kNever,               // the input is another format (an SDF record's molfile) or starts later
  kAlways,              // records are taken from their first byte (MOL2, PDB)
  kIfFirstLineHasText,  // ... from their first line that holds more than blanks (XYZ)
};

class TFormatRecordScanner;  // uRecordScan.h
class TSurveyMachine;        // uSurveyMachine.h

// A SMILES file of up to this many records (non-blank lines) is drawn whole, as one grid; a longer
// one is stepped through line by line.
inline constexpr size_t kGridMaxLines = 12;

// What the plugin knows of one format.
struct TMolFormatRow {
  TMolFormat Format = TMolFormat::Unknown;
  std::string_view Extensions[2];  // lower case, without the dot; the second may be empty
  // How the file is cut into records; none for a format that holds one molecule (MOL).
  std::optional<TRecordRule> Rule;
  // The rule's record scanner (lines seen up to `maxLine` bytes); null without a rule.
  std::unique_ptr<TFormatRecordScanner> (*MakeScanner)(size_t maxLine) = nullptr;
  // Where the text a record delivers begins among its bytes [begin, end); null: at begin.
  const char* (*RecordTextStart)(const char* begin, const char* end) = nullptr;
  // Records end at line breaks (all but CML's, which end at the '>' of a closing tag).
  bool RecordsEndAtLineBreaks = true;
  // The survey's machine: counts records for a negative `target`, surveys record `target`
  // otherwise; null: the survey knows nothing of the format.
  std::unique_ptr<TSurveyMachine> (*MakeSurvey)(int64_t target, size_t maxLine) = nullptr;
  // The extension of a converter input that holds one record: an SDF record alone is a MOL file.
  std::string_view RecordInputExtension = ".mol";
  TWholeFileInput WholeFileInput = TWholeFileInput::kNever;
  // A table of element and position per atom, whose atoms are read straight from the file.
  bool AtomTable = false;
  // Its own text is molfile text or SMILES: a copy of its record is that text alone, while the
  // copy of any other format's record may add the converter's SMILES.
  bool MolfileOrSmilesText = false;
  std::string_view RecordWord = "Molecule";  // what the navigation bar calls a record
  bool DataItems = false;                    // records carry a title and data items (SDF)
  TSearchPlaces SearchPlaces = TSearchPlaces::kLines;
  TCountLine CountLine = TCountLine::kRecords;
  // A file of at most this many records is drawn whole as one grid (0: never).
  size_t GridMaxRecords = 0;
};

// The row of a format, and of the format whose records a rule cuts.
const TMolFormatRow& RowOf(TMolFormat format);
const TMolFormatRow& RowOf(TRecordRule rule);

// The record rule of a format that may hold several molecules (SDF, SMILES, MOL2, XYZ, PDB,
// CML); nullopt for a MOL file, which holds one.
std::optional<TRecordRule> RecordRuleOf(TMolFormat format);

// The extension of a converter input that holds one record cut by `rule`: an SDF record alone
// is a MOL file, a SMILES line a SMILES file, any other record a file of its own format.
std::string_view RecordInputExtension(TRecordRule rule);

// True for the formats that are a table of element and position per atom (PDB, XYZ), whose
// atoms are read straight from the file.
bool IsAtomTable(TMolFormat format);

// True for the formats whose own text is molfile text (MOL, SDF) or SMILES: a copy of their record
// is that text alone, while the copy of any other format's record may add the converter's SMILES.
bool HoldsMolfileOrSmilesText(TMolFormat format);

// What the navigation bar calls a record of a file with `rule`: "Frame" (XYZ), "Model" (PDB),
// otherwise "Molecule".
std::string RecordWordOf(TRecordRule rule);

// True when the records of `rule` carry a title and data items (SDF).
bool RecordsHaveDataItems(TRecordRule rule);

// Where a search looks in a record of `rule`, or in a file of `format` searched as one record.
TSearchPlaces SearchPlacesOf(TRecordRule rule);
TSearchPlaces SearchPlacesOf(TMolFormat format);

// The line the viewer logs for the final count of a file with `rule`.
TCountLine CountLineOf(TRecordRule rule);

// The records a file with `rule` may have and still be drawn whole as one grid (a SMILES file:
// kGridMaxLines); 0 when its files are always stepped through.
size_t GridMaxRecords(TRecordRule rule);
// True when a file with `rule` and `records` records (known so far) is drawn as one grid.
bool DrawnAsOneGrid(TRecordRule rule, size_t records);

// True when the records of `rule` start and end at line breaks: all but CML's, which end at the
// '>' of a closing tag.
bool RecordsEndAtLineBreaks(TRecordRule rule);

}  // namespace pelorin
