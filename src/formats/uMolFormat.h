// What kind of molecule file a file is: its format, told from its name, and what follows from the
// format wherever the plugin needs it (how the viewer cuts it into records, whether its atoms can
// be read straight from it, which text it copies).
#pragma once

#include <cstdint>
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
  kSDF,    // "$$$$" lines end records (SDF)
  kLines,  // every non-blank line is one (SMILES)
  kMOL2,   // each @<TRIPOS>MOLECULE section is one
  kXYZ,    // a count line, a comment line and as many atom lines as the count says
  kPDB,    // models: an ENDMDL line ends one, an END line the last; a record holds atoms
  kCML,    // each top-level <molecule> element is one
};

// The record rule of a format that may hold several molecules (SDF, SMILES, MOL2, XYZ, PDB,
// CML); nullopt for a MOL file, which holds one.
std::optional<TRecordRule> RecordRuleOf(TMolFormat format);
// The rule of the formats whose records the viewer window steps through (SDF and SMILES);
// nullopt for the formats it shows by their first record.
std::optional<TRecordRule> SteppedRecordRuleOf(TMolFormat format);

// The extension of a converter input that holds one record cut by `rule`: an SDF record alone
// is a MOL file, a SMILES line a SMILES file, any other record a file of its own format.
std::string_view RecordInputExtension(TRecordRule rule);

// True for the formats that are a table of element and position per atom (PDB, XYZ), whose
// atoms are read straight from the file.
bool IsAtomTable(TMolFormat format);

// True for the formats whose own text is molfile text (MOL, SDF) or SMILES: a copy of their record
// is that text alone, while the copy of any other format's record may add the converter's SMILES.
bool HoldsMolfileOrSmilesText(TMolFormat format);

}  // namespace pelorin
