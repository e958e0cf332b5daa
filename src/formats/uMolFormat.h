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

// How a file is cut into the records the viewer steps through.
enum class TRecordRule : uint8_t {
  kSDF,    // "$$$$" lines end records (SDF)
  kLines,  // every non-blank line is one (SMILES)
};

// The record rule of a format: SDF files by their "$$$$" lines, SMILES files by their lines;
// nullopt for the formats the viewer shows whole.
std::optional<TRecordRule> RecordRuleOf(TMolFormat format);

// The extension of a converter input that holds one record cut by `rule`: an SDF record alone
// is a MOL file, a SMILES line a SMILES file.
std::string_view RecordInputExtension(TRecordRule rule);

// True for the formats that are a table of element and position per atom (PDB, XYZ), whose
// atoms are read straight from the file.
bool IsAtomTable(TMolFormat format);

// True for the formats whose own text is molfile text (MOL, SDF): copying such a file gives its
// text, any other its SMILES.
bool HoldsMolfileText(TMolFormat format);

}  // namespace pelorin
