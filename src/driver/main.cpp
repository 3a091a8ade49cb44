#include <cstdio>

#include "driver/console.h"
#include "driver/dialogue.h"

int main() {
  vandorak::install_interrupt_handlers();
  const vandorak::Console console{stdout, vandorak::wait_for_key};
  return vandorak::run_dialogue(stdin, console);
}
