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
    std::string_view head = TrimLeftView(line.Head);
    if (!head.empty() && head[0] == '@' && StartsWith(head, "@<TRIPOS>")) return Section(TrimView(head.substr(9)));
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

TSurveyMachinePtr MakeMOL2Survey(int64_t target, size_t maxLine) {
  return std::make_unique<TMol2Machine>(target, maxLine);
}

}  // namespace pelorin
