// SMILES files: the record rule and the survey of their lines.
#include "formats/uSMILESFormat.h"

#include <cstring>

#include "support/uText.h"

namespace pelorin {
namespace {

class TSmilesMachine : public TScannedRecordMachine<TSmilesMachine> {
 public:
  TSmilesMachine(int64_t target, size_t maxLine) : TScannedRecordMachine(target, maxLine, TRecordRule::kSMILES) {}

  // A record is its blank lines, then its line.
  bool OnRecordLine(const TLine& line) {
    if (line.Blank()) return true;
    TWords words(line.Head);
    std::string_view smiles;
    words.Next(smiles);
    // A string that runs past the line limit is counted as far as the limit goes.
    const bool whole = !words.Rest().empty() || !line.TailNonBlank;
    result_ = TRecordSurvey{CountSmilesAtoms(smiles), whole, false};
    return false;
  }
  TRecordSurvey RecordResult() const { return result_; }

 private:
  TRecordSurvey result_;
};

}  // namespace

int64_t CountSmilesAtoms(std::string_view smiles) {
  int64_t atoms = 0;
  bool inBracket = false;
  for (char c : smiles) {
    if (inBracket) {
      inBracket = c != ']';
    } else if (c == '[') {
      inBracket = true;
      ++atoms;
    } else if (c != '\0' && std::strchr("BCNOPSFIbcnops*", c)) {
      ++atoms;
    }
  }
  return atoms;
}

std::unique_ptr<TFormatRecordScanner> MakeSMILESRecordScanner(size_t maxLine) {
  return std::make_unique<TLineRuleScanner<TSMILESRecordRule>>(maxLine);
}

TSurveyMachinePtr MakeSMILESSurvey(int64_t target, size_t maxLine) {
  return std::make_unique<TSmilesMachine>(target, maxLine);
}

}  // namespace pelorin
