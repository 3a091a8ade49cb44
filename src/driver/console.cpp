#include "driver/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vandorak {

void wait_for_key() {
  std::fflush(stdout);
  if (isatty(STDIN_FILENO) == 0) return;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  // Read the terminal itself, not the stdio buffer: a line end left behind
  // by the last prompt must not count as the key.
  char key = 0;
  while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void stop_run() {
  std::fflush(stdout);
  std::exit(1);
}

}  // namespace vandorak
