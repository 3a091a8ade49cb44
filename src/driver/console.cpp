#include "driver/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vandorak {

namespace {

static_assert(std::numeric_limits<std::sig_atomic_t>::min() <= std::numeric_limits<std::int32_t>::min() &&
                  std::numeric_limits<std::sig_atomic_t>::max() >= std::numeric_limits<std::int32_t>::max(),
              "the signal handler reads the node id from a sig_atomic_t");

constexpr int kTerminatingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// How long the next byte of a key that sends several may take to follow.
constexpr int kKeyByteWaitMilliseconds = 50;

// What the signal handler reads. saved_terminal is written only while
// terminal_raw is 0.
termios saved_terminal{};
volatile std::sig_atomic_t terminal_raw = 0;
volatile std::sig_atomic_t node_being_written = 0;
volatile std::sig_atomic_t node_id = 0;

void restore_terminal() { tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal); }

// Async-signal-safe.
void write_all(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, text, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Async-signal-safe, so the number is formatted here rather than by stdio.
void report_node_being_written() {
  static constexpr char kLead[] = "interrupted while writing node ";
  char text[sizeof kLead + 16];
  std::size_t length = 0;
  for (const char c : kLead) {
    if (c != '\0') text[length++] = c;
  }
  const auto id = static_cast<std::int32_t>(node_id);
  // Unsigned, so the lowest id has a magnitude too.
  std::uint32_t magnitude = static_cast<std::uint32_t>(id);
  if (id < 0) {
    text[length++] = '-';
    magnitude = 0u - magnitude;
  }
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) text[length++] = digits[--count];
  text[length++] = '\n';
  write_all(STDERR_FILENO, text, length);
}

void on_terminating_signal(int signal_number) {
  if (terminal_raw != 0) restore_terminal();
  if (node_being_written != 0) report_node_being_written();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  // The signal is blocked while its handler runs: it stays pending until
  // the unblock, which ends the program with it.
  raise(signal_number);
  sigset_t this_signal;
  sigemptyset(&this_signal);
  sigaddset(&this_signal, signal_number);
  sigprocmask(SIG_UNBLOCK, &this_signal, nullptr);
  _exit(128 + signal_number);
}

// False at end of input or on an error.
bool read_some(unsigned char* bytes, std::size_t size) {
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, bytes, size);
    if (n > 0) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

bool byte_follows() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  int ready = 0;
  while ((ready = poll(&input, 1, kKeyByteWaitMilliseconds)) < 0 && errno == EINTR) {
  }
  return ready > 0 && (input.revents & POLLIN) != 0;
}

// Consumes the bytes a terminal sends after a key's first: the rest of an
// escape sequence, as long as bytes keep coming, or of a UTF-8 character.
void discard_rest_of_key(unsigned char first) {
  unsigned char bytes[64];
  if (first == 0x1b) {
    while (byte_follows() && read_some(bytes, sizeof bytes)) {
    }
    return;
  }
  int rest = 0;
  if ((first & 0xe0) == 0xc0) rest = 1;
  if ((first & 0xf0) == 0xe0) rest = 2;
  if ((first & 0xf8) == 0xf0) rest = 3;
  for (; rest > 0 && byte_follows() && read_some(bytes, 1); --rest) {
  }
}

}  // namespace

void wait_for_key() {
  std::fflush(stdout);
  if (isatty(STDIN_FILENO) == 0) return;
  install_interrupt_handlers();
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  // ISIG stays on, so Ctrl-C still interrupts the wait.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  saved_terminal = saved;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  terminal_raw = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    // Read the terminal itself, not the stdio buffer: a line end left behind
    // by the last prompt must not count as the key.
    unsigned char first = 0;
    if (read_some(&first, 1)) discard_rest_of_key(first);
  }
  restore_terminal();
  terminal_raw = 0;
}

void stop_run() {
  std::fflush(stdout);
  throw RunStopped{1};
}

int finish_standard_output(int status) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const int error = errno;
    std::fprintf(stderr, "vandorak: cannot write standard output: %s\n",
                 error != 0 ? std::strerror(error) : "write error");
    return 1;
  }
  return status;
}

void install_interrupt_handlers() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = on_terminating_signal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits until the first has ended the program.
    for (const int s : kTerminatingSignals) sigaddset(&action.sa_mask, s);
    for (const int s : kTerminatingSignals) {
      struct sigaction previous {};
      if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
      sigaction(s, &action, nullptr);
    }
    return true;
  }();
  static_cast<void>(installed);
}

void note_node_being_written(std::int32_t id) {
  node_id = id;
  node_being_written = 1;
}

void clear_node_being_written() { node_being_written = 0; }

}  // namespace vandorak
