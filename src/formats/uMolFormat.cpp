// What kind of molecule file a file is, and what follows from its format.
#include "formats/uMolFormat.h"

#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {
namespace {

constexpr char kProgramDatabaseSignature[] = "Microsoft C/C++ ";

}  // namespace

TMolFormat MolFormatFromFileName(std::string_view fileName) {
  size_t dot = fileName.find_last_of('.');
  size_t slash = fileName.find_last_of("\\/");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return TMolFormat::Unknown;
  std::string extension = LowerAscii(fileName.substr(dot + 1));
  static const struct {
    const char* Extension;
    TMolFormat Format;
  } kFormats[] = {{"mol", TMolFormat::Mol},    {"sdf", TMolFormat::Sdf},       {"mol2", TMolFormat::Mol2},
                  {"smi", TMolFormat::Smiles}, {"smiles", TMolFormat::Smiles}, {"pdb", TMolFormat::Pdb},
                  {"xyz", TMolFormat::Xyz},    {"cml", TMolFormat::Cml}};
  for (const auto& entry : kFormats)
    if (extension == entry.Extension) return entry.Format;
  return TMolFormat::Unknown;
}

bool IsProgramDatabaseFile(const std::string& fileName) {
  const size_t signatureLength = sizeof kProgramDatabaseSignature - 1;
  return ReadFileHead(fileName, signatureLength) == std::string_view(kProgramDatabaseSignature, signatureLength);
}

std::optional<TRecordRule> RecordRuleOf(TMolFormat format) {
  switch (format) {
    case TMolFormat::Sdf:
      return TRecordRule::kSDF;
    case TMolFormat::Smiles:
      return TRecordRule::kLines;
    case TMolFormat::Mol2:
      return TRecordRule::kMOL2;
    case TMolFormat::Xyz:
      return TRecordRule::kXYZ;
    case TMolFormat::Pdb:
      return TRecordRule::kPDB;
    case TMolFormat::Cml:
      return TRecordRule::kCML;
    case TMolFormat::Mol:
    case TMolFormat::Unknown:
      break;
  }
  return std::nullopt;
}

std::optional<TRecordRule> SteppedRecordRuleOf(TMolFormat format) {
  if (format != TMolFormat::Sdf && format != TMolFormat::Smiles) return std::nullopt;
  return RecordRuleOf(format);
}

std::string_view RecordInputExtension(TRecordRule rule) {
  switch (rule) {
    case TRecordRule::kSDF:
      return ".mol";
    case TRecordRule::kLines:
      return ".smi";
    case TRecordRule::kMOL2:
      return ".mol2";
    case TRecordRule::kXYZ:
      return ".xyz";
    case TRecordRule::kPDB:
      return ".pdb";
    case TRecordRule::kCML:
      return ".cml";
  }
  return ".mol";
}

bool IsAtomTable(TMolFormat format) {
  return format == TMolFormat::Pdb || format == TMolFormat::Xyz;
}

bool HoldsMolfileOrSmilesText(TMolFormat format) {
  return format == TMolFormat::Mol || format == TMolFormat::Sdf || format == TMolFormat::Smiles;
}

}  // namespace pelorin
