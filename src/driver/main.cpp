#include <csignal>

#include "cli/command_line.h"
#include "driver/console.h"

int main(int argc, char** argv) {
  // A closed pipe on standard output is a write error, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  vandorak::install_interrupt_handlers();
  return vandorak::cli::run_command_line(argc, argv);
}
