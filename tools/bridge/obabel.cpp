// obabel.exe for tests and demos under Wine: runs the machine's real Open Babel in its place.
// Never shipped with the plugin.
#include "uWineBridge.h"

int main() {
  return pelorin::RunUnixConverter(pelorin::OwnArguments());
}
