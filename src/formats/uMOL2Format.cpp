// MOL2 (Tripos) files: the survey of their molecules.
#include "formats/uMOL2Format.h"

#include <optional>

#include "support/uText.h"

namespace pelorin {
namespace {

// Each @<TRIPOS>MOLECULE section is a record; the line after the molecule's name starts with its
// atom count, and its @<TRIPOS>ATOM section has one "id name x y z ..." line per atom.
class TMol2Machine : public TLineMachine<TMol2Machine> {
 public:
  TMol2Machine(int64_t target, size_t maxLine) : TLineMachine(target, maxLine) {}

  bool OnLine(const TLine& line) {
    if (const std::optional<std::string_view> section = Mol2SectionOf(line.Head)) return Section(*section);
    std::string_view head = TrimLeftView(line.Head);
    bool inTarget = IsTarget(records_ - 1);
    switch (stage_) {
      case TStage::Name:
        stage_ = TStage::Counts;
        return true;
      case TStage::Counts:
        declared_ = ParseCount(WordAt(head, 0));
        stage_ = TStage::Other;
        return !(inTarget && declared_ == 0u) || Done();
      case TStage::Atoms:
        if (!inTarget || head.empty() || head[0] == '#') return true;
        ++atoms_;
        has3D_ = has3D_ || ParseDecimalIsNonZero(WordAt(head, 4)).value_or(false);
        return !declared_ || static_cast<uint64_t>(atoms_) < *declared_ || Done();
      case TStage::Other:
        return true;
    }
    return true;
  }

  void OnEnd() {
    if (IsTarget(records_ - 1)) Found(Result());
  }

 private:
  enum class TStage { Other, Name, Counts, Atoms };

  bool Section(std::string_view name) {
    bool inTarget = IsTarget(records_ - 1);
    if (name == "MOLECULE") {
      if (inTarget) return Done();
      ++records_;
      stage_ = TStage::Name;
      declared_.reset();
      return true;
    }
    if (inTarget && stage_ == TStage::Atoms) return Done();
    stage_ = name == "ATOM" ? TStage::Atoms : TStage::Other;
    return true;
  }

  bool Done() {
    Found(Result());
    return false;
  }
  TRecordSurvey Result() const {
    return TRecordSurvey{atoms_, declared_ && static_cast<uint64_t>(atoms_) == *declared_, has3D_};
  }

  TStage stage_ = TStage::Other;
  std::optional<uint64_t> declared_;
  int64_t atoms_ = 0;  // of the record surveyed
  bool has3D_ = false;
};

}  // namespace

std::optional<std::string_view> Mol2SectionOf(std::string_view line) {
  constexpr std::string_view kSectionMark = "@<TRIPOS>";
  const std::string_view head = TrimLeftView(line);
  if (head.empty() || head[0] != '@' || !StartsWith(head, kSectionMark)) return std::nullopt;
  return TrimView(head.substr(kSectionMark.size()));
}

TLineEnd TMOL2RecordRule::Take(const TLine& line) {
  const std::optional<std::string_view> section = Mol2SectionOf(line.Head);
  if (!section || *section != "MOLECULE") return TLineEnd::kNone;
  if (!molecules_) {
    molecules_ = true;  // the first: the bytes before it are its own
    return TLineEnd::kNone;
  }
  return TLineEnd::kBefore;
}

std::unique_ptr<TFormatRecordScanner> MakeMOL2RecordScanner(size_t maxLine) {
  return std::make_unique<TLineRuleScanner<TMOL2RecordRule>>(maxLine);
}

TSurveyMachinePtr MakeMOL2Survey(int64_t target, size_t maxLine) {
  if (target < 0) return std::make_unique<TScannedRecordCounter>(TRecordRule::kMOL2, maxLine);
  return std::make_unique<TMol2Machine>(target, maxLine);
}

}  // namespace pelorin
