// The viewer's commands that leave the view: exports and the options dialog.
#include "viewer/uCommands.h"

namespace pelorin {

void HandleCommandKey(TPelorinState* /*state*/, WPARAM /*key*/) {}

bool HandleCommandMessage(TPelorinState* /*state*/, UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                          LRESULT& /*result*/) {
  return false;
}

}  // namespace pelorin
