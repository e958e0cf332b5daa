// What kind of molecule file a file is: its format, told from its name.
#pragma once

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

}  // namespace pelorin
