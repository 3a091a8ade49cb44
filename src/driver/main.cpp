#include <csignal>
#include <cstdio>

#include "driver/console.h"
#include "driver/dialogue.h"

int main() {
  // A closed pipe on standard output is a write error, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  vandorak::install_interrupt_handlers();
  const vandorak::Console console{stdout, vandorak::wait_for_key};
  return vandorak::finish_standard_output(vandorak::run_dialogue(stdin, console));
}
