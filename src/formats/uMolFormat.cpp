// What kind of molecule file a file is: the table of formats, one row each.
#include "formats/uMolFormat.h"

#include <array>

#include "formats/uCMLFormat.h"
#include "formats/uMOL2Format.h"
#include "formats/uPDBFormat.h"
#include "formats/uSDFFormat.h"
#include "formats/uSMILESFormat.h"
#include "formats/uXYZFormat.h"
#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {
namespace {

constexpr char kProgramDatabaseSignature[] = "Microsoft C/C++ ";
constexpr size_t kFormatCount = static_cast<size_t>(TMolFormat::Cml) + 1;

using TRows = std::array<TMolFormatRow, kFormatCount>;

TMolFormatRow& Row(TRows& rows, TMolFormat format, std::string_view extension, std::string_view other = {}) {
  TMolFormatRow& row = rows[static_cast<size_t>(format)];
  row.Format = format;
  row.Extensions[0] = extension;
  row.Extensions[1] = other;
  return row;
}

// The table. Each format's rules live in its module; the row says which and what follows.
TRows MakeRows() {
  TRows rows;
  Row(rows, TMolFormat::Unknown, {}).SearchPlaces = TSearchPlaces::kMolfile;  // searched as a MOL file
  {
    TMolFormatRow& mol = Row(rows, TMolFormat::Mol, "mol");
    mol.MakeSurvey = MakeMOLSurvey;
    mol.MolfileOrSmilesText = true;
    mol.SearchPlaces = TSearchPlaces::kMolfile;
  }
  {
    TMolFormatRow& sdf = Row(rows, TMolFormat::Sdf, "sdf");
    sdf.Rule = TRecordRule::kSDF;
    sdf.MakeScanner = MakeSDFRecordScanner;
    sdf.MakeSurvey = MakeSDFSurvey;
    sdf.RecordInputExtension = ".mol";
    sdf.MolfileOrSmilesText = true;
    sdf.DataItems = true;
    sdf.SearchPlaces = TSearchPlaces::kMolfile;
    sdf.CountLine = TCountLine::kSDFSplit;
  }
  {
    TMolFormatRow& mol2 = Row(rows, TMolFormat::Mol2, "mol2");
    mol2.Rule = TRecordRule::kMOL2;
    mol2.MakeScanner = MakeMOL2RecordScanner;
    mol2.MakeSurvey = MakeMOL2Survey;
    mol2.RecordInputExtension = ".mol2";
    mol2.WholeFileInput = TWholeFileInput::kAlways;
  }
  {
    TMolFormatRow& smiles = Row(rows, TMolFormat::Smiles, "smi", "smiles");
    smiles.Rule = TRecordRule::kSMILES;
    smiles.MakeScanner = MakeSMILESRecordScanner;
    smiles.RecordTextStart = FirstNonBlankLine;  // the record's one line
    smiles.MakeSurvey = MakeSMILESSurvey;
    smiles.RecordInputExtension = ".smi";
    smiles.MolfileOrSmilesText = true;
    smiles.SearchPlaces = TSearchPlaces::kTextLine;
    smiles.CountLine = TCountLine::kSMILESLines;
    smiles.GridMaxRecords = kGridMaxLines;
  }
  {
    TMolFormatRow& pdb = Row(rows, TMolFormat::Pdb, "pdb");
    pdb.Rule = TRecordRule::kPDB;
    pdb.MakeScanner = MakePDBRecordScanner;
    pdb.MakeSurvey = MakePDBSurvey;
    pdb.RecordInputExtension = ".pdb";
    pdb.WholeFileInput = TWholeFileInput::kAlways;
    pdb.AtomTable = true;
    pdb.RecordWord = "Model";
  }
  {
    TMolFormatRow& xyz = Row(rows, TMolFormat::Xyz, "xyz");
    xyz.Rule = TRecordRule::kXYZ;
    xyz.MakeScanner = MakeXYZRecordScanner;
    xyz.RecordTextStart = FirstNonBlankLine;  // its count line: the converter skips no blank line
    xyz.MakeSurvey = MakeXYZSurvey;
    xyz.RecordInputExtension = ".xyz";
    xyz.WholeFileInput = TWholeFileInput::kIfFirstLineHasText;
    xyz.AtomTable = true;
    xyz.RecordWord = "Frame";
  }
  {
    TMolFormatRow& cml = Row(rows, TMolFormat::Cml, "cml");
    cml.Rule = TRecordRule::kCML;
    cml.MakeScanner = MakeCMLRecordScanner;
    cml.RecordTextStart = CMLMoleculeStart;
    cml.RecordsEndAtLineBreaks = false;
    cml.MakeSurvey = MakeCMLSurvey;
    cml.RecordInputExtension = ".cml";
  }
  return rows;
}

const TRows& Rows() {
  static const TRows rows = MakeRows();
  return rows;
}

}  // namespace

const TMolFormatRow& RowOf(TMolFormat format) {
  const size_t at = static_cast<size_t>(format);
  return Rows()[at < kFormatCount ? at : 0];
}

const TMolFormatRow& RowOf(TRecordRule rule) {
  for (const TMolFormatRow& row : Rows())
    if (row.Rule == rule) return row;
  return Rows()[0];
}

TMolFormat MolFormatFromFileName(std::string_view fileName) {
  size_t dot = fileName.find_last_of('.');
  size_t slash = fileName.find_last_of("\\/");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return TMolFormat::Unknown;
  const std::string extension = LowerAscii(fileName.substr(dot + 1));
  for (const TMolFormatRow& row : Rows())
    for (std::string_view known : row.Extensions)
      if (!known.empty() && extension == known) return row.Format;
  return TMolFormat::Unknown;
}

bool IsProgramDatabaseFile(const std::string& fileName) {
  const size_t signatureLength = sizeof kProgramDatabaseSignature - 1;
  return ReadFileHead(fileName, signatureLength) == std::string_view(kProgramDatabaseSignature, signatureLength);
}

std::optional<TRecordRule> RecordRuleOf(TMolFormat format) {
  return RowOf(format).Rule;
}

std::string_view RecordInputExtension(TRecordRule rule) {
  return RowOf(rule).RecordInputExtension;
}

bool IsAtomTable(TMolFormat format) {
  return RowOf(format).AtomTable;
}

bool HoldsMolfileOrSmilesText(TMolFormat format) {
  return RowOf(format).MolfileOrSmilesText;
}

std::string RecordWordOf(TRecordRule rule) {
  return std::string(RowOf(rule).RecordWord);
}

bool RecordsHaveDataItems(TRecordRule rule) {
  return RowOf(rule).DataItems;
}

TSearchPlaces SearchPlacesOf(TRecordRule rule) {
  return RowOf(rule).SearchPlaces;
}

TSearchPlaces SearchPlacesOf(TMolFormat format) {
  return RowOf(format).SearchPlaces;
}

TCountLine CountLineOf(TRecordRule rule) {
  return RowOf(rule).CountLine;
}

size_t GridMaxRecords(TRecordRule rule) {
  return RowOf(rule).GridMaxRecords;
}

bool DrawnAsOneGrid(TRecordRule rule, size_t records) {
  const size_t most = GridMaxRecords(rule);
  return most > 0 && records <= most;
}

bool RecordsEndAtLineBreaks(TRecordRule rule) {
  return RowOf(rule).RecordsEndAtLineBreaks;
}

}  // namespace pelorin
