// The program with every node pass reading the whole listing again: the
// reference that runs answered from one recorded scan are compared with.
#include <cstdio>

#include "driver/console.h"
#include "driver/dialogue.h"

int main() {
  vandorak::RunOptions options;
  options.per_node_scan = true;
  const vandorak::Console console{stdout, vandorak::wait_for_key};
  return vandorak::finish_standard_output(vandorak::run_dialogue(stdin, console, options));
}
