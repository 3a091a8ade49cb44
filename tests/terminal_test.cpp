// Runs the built program on a pseudo-terminal, to check its key wait as a
// user meets it, and interrupts runs at the wait and while a node's response
// files are being written.
//
// Every wait has a deadline, past which the program is killed and the test
// fails: a broken program never hangs the tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_harness.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Only a broken program comes near it.
constexpr auto kTimeout = std::chrono::seconds(10);

constexpr std::string_view kExitPrompt = "\r\n press any key to exit \r\n";

// ---------------------------------------------------------------------------
// Harness

using vandorak::testing::TempDir;

// A file descriptor closed with its owner.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Appends what fd has to read within timeout_ms; false if it had nothing.
bool read_some(int fd, std::string& into, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0 || (p.revents & POLLIN) == 0) return false;
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  into.append(buffer, static_cast<std::size_t>(n));
  return true;
}

// A started program, killed and reaped if the test ends before it does.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }

  // Waits for the end, appending what output (when >= 0) has meanwhile and
  // after it. Returns the wait status; none when the deadline passes.
  std::optional<int> finish(int output, std::string& into) {
    const Clock::time_point deadline = Clock::now() + kTimeout;
    while (pid_ > 0 && Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        while (output >= 0 && read_some(output, into, 0)) {
        }
        return status;
      }
      if (output < 0 || !read_some(output, into, 10)) poll(nullptr, 0, 10);
    }
    return std::nullopt;
  }

 private:
  pid_t pid_;
};

std::string describe(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// The program on a fresh pseudo-terminal in an empty directory, as the
// session leader with the terminal as its controlling one and as its
// standard input, output and error. The test keeps the terminal's slave
// side open, so its settings can be read after the program has ended.
class TerminalRun {
 public:
  TerminalRun() {
    master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master_.get() < 0 || grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0) return;
    const char* name = ptsname(master_.get());
    if (name == nullptr) return;
    const std::string slave_name = name;
    slave_.reset(open(slave_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (slave_.get() < 0 || tcgetattr(slave_.get(), &before_) != 0) return;

    const std::string work = dir_.path().string();
    const pid_t pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls until the exec.
      setsid();
      const int terminal = open(slave_name.c_str(), O_RDWR);
      if (terminal < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0) _exit(126);
      dup2(terminal, STDIN_FILENO);
      dup2(terminal, STDOUT_FILENO);
      dup2(terminal, STDERR_FILENO);
      if (terminal > STDERR_FILENO) close(terminal);
      const rlimit no_core{0, 0};  // SIGQUIT ends it without a core file
      setrlimit(RLIMIT_CORE, &no_core);
      if (chdir(work.c_str()) != 0) _exit(126);
      execl(VANDORAK_BINARY, VANDORAK_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid > 0) child_.emplace(pid);
  }

  bool started() const { return child_.has_value(); }
  pid_t pid() const { return child_->pid(); }
  const termios& before() const { return before_; }
  int slave() const { return slave_.get(); }
  // Everything the program has written to the terminal so far, line ends
  // as the terminal turns them.
  const std::string& output() const { return output_; }

  void type(std::string_view bytes) const {
    ASSERT_EQ(write(master_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Reads the terminal until its output holds text.
  bool read_until(std::string_view text) {
    const Clock::time_point deadline = Clock::now() + kTimeout;
    while (output_.find(text) == std::string::npos) {
      if (Clock::now() >= deadline) return false;
      read_some(master_.get(), output_, 10);
    }
    return true;
  }

  // Waits until the program has put the terminal in non-canonical mode, so
  // a key typed from now on is read as a key.
  bool wait_for_key_mode() const {
    const Clock::time_point deadline = Clock::now() + kTimeout;
    for (;;) {
      termios now{};
      if (tcgetattr(slave_.get(), &now) != 0) return false;
      if ((now.c_lflag & ICANON) == 0) return true;
      if (Clock::now() >= deadline) return false;
      poll(nullptr, 0, 1);
    }
  }

  // Types an unknown listing name and waits for the program to wait for the key.
  bool reach_exit_prompt() {
    if (!read_until("Enter input filename")) return false;
    type("nosuch.out\r");
    return read_until(kExitPrompt) && wait_for_key_mode();
  }

  std::optional<int> finish() { return child_->finish(master_.get(), output_); }

  // What the program wrote after the exit prompt.
  std::string after_prompt() const {
    const std::size_t at = output_.find(kExitPrompt);
    return at == std::string::npos ? output_ : output_.substr(at + kExitPrompt.size());
  }

  // What is left to read on the terminal, which the shell would get next.
  std::string left_unread() const {
    termios drain{};
    tcgetattr(slave_.get(), &drain);
    drain.c_lflag &= static_cast<tcflag_t>(~ICANON);
    drain.c_cc[VMIN] = 0;
    drain.c_cc[VTIME] = 0;
    tcsetattr(slave_.get(), TCSANOW, &drain);
    std::string left;
    char buffer[256];
    for (ssize_t n; (n = read(slave_.get(), buffer, sizeof buffer)) > 0;) left.append(buffer, static_cast<std::size_t>(n));
    return left;
  }

 private:
  TempDir dir_;
  Fd master_;
  Fd slave_;
  termios before_{};
  std::string output_;
  std::optional<Child> child_;
};

std::string printable(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
      text += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      text += hex;
    }
  }
  return text;
}

// ---------------------------------------------------------------------------
// The key wait

struct Key {
  const char* what;
  std::string_view bytes;  // what the terminal sends for it
};

TEST(KeyWait, OneKeyEndsTheWaitUnechoedAndWholly) {
  const Key cases[] = {
      {"letter", "q"},
      {"Enter", "\r"},
      {"Escape alone", "\x1b"},
      {"arrow left", "\x1b[D"},
      {"F1", "\x1bOP"},
      {"F5", "\x1b[15~"},
      {"two-byte UTF-8 character", "\xc3\xa9"},
      {"three-byte UTF-8 character", "\xe2\x82\xac"},
  };
  for (const Key& key : cases) {
    SCOPED_TRACE(key.what);
    TerminalRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.reach_exit_prompt()) << printable(run.output());
    run.type(key.bytes);
    const std::optional<int> status = run.finish();
    ASSERT_TRUE(status.has_value()) << "still waiting after " << printable(key.bytes);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << describe(*status);
    EXPECT_EQ(printable(run.after_prompt()), "");

    termios after{};
    ASSERT_EQ(tcgetattr(run.slave(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON | ISIG), run.before().c_lflag & (ECHO | ICANON | ISIG));
    EXPECT_EQ(printable(run.left_unread()), "") << "left for the shell";
  }
}

struct Interruption {
  const char* what;
  std::string_view typed;  // empty: the signal is sent to the program
  int signal;
};

TEST(KeyWait, SignalAtTheWaitEndsTheProgramWithTheTerminalRestored) {
  const Interruption cases[] = {
      {"Ctrl-C", "\x03", SIGINT},
      {"Ctrl-\\", "\x1c", SIGQUIT},
      {"SIGTERM", "", SIGTERM},
      {"SIGHUP", "", SIGHUP},
  };
  for (const Interruption& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.reach_exit_prompt()) << printable(run.output());
    if (c.typed.empty()) {
      ASSERT_EQ(kill(run.pid(), c.signal), 0);
    } else {
      run.type(c.typed);
    }
    const std::optional<int> status = run.finish();
    ASSERT_TRUE(status.has_value()) << "still waiting";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal) << describe(*status);
    // No node was being written: nothing to report.
    EXPECT_EQ(printable(run.after_prompt()), "");

    termios after{};
    ASSERT_EQ(tcgetattr(run.slave(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON), run.before().c_lflag & (ECHO | ICANON));
  }
}

// ---------------------------------------------------------------------------
// Interrupted node passes
//
// The node's acceleration x file is a FIFO whose capacity is less than what
// the pass writes to it, and the test never reads it empty: once anything
// has come through, the pass cannot get past writing that file, so the
// signal surely arrives while the node's files are being written.

std::string eigenvalue_table() { return "   JOB ECHO\n\n" + vandorak::e2e::kEigenTable + "\n"; }

// A listing whose only node is id, in `blocks` acceleration blocks.
std::string one_node_listing(std::int32_t id, int blocks) {
  std::string text = eigenvalue_table();
  for (int b = 1; b <= blocks; ++b) {
    char frequency[32];
    std::snprintf(frequency, sizeof frequency, "%.6E", static_cast<double>(b));
    text += "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   " + std::string(frequency) +
            "\n"
            "\n"
            "        C O M P L E X   A C C E L E R A T I O N   V E C T O R\n"
            "                                                          (MAGNITUDE/PHASE)\n"
            "\n"
            "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
            "\n"
            "       " +
            std::to_string(id) +
            "       1   7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00\n"
            "                     10.0000   20.0000   30.0000   40.0000   50.0000   60.0000\n"
            "   PAGE HEADER TEXT\n";
  }
  return text + "   TOTAL WARNINGS = 0\n";
}

struct WrittenNode {
  const char* what;
  std::int32_t id;
  int lines;  // lines of the id's acceleration x file
  bool generated;  // from the listing generator, else one_node_listing
};

TEST(InterruptedRun, SignalWhileANodeIsWrittenNamesTheNode) {
  constexpr std::size_t kLineSize = 30;  // "1.00000e+001 \t 2.00000e+000 \n"
  const WrittenNode cases[] = {
      {"generated listing, first node", 101, 1000, true},
      {"id zero", 0, 400, false},
      {"lowest id", std::numeric_limits<std::int32_t>::min(), 400, false},
  };
  for (const WrittenNode& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path listing = dir.path() / "listing.out";
    if (c.generated) {
      const std::string command = "'" GEN_LISTING_BINARY "' --nodes 3 --freqs " + std::to_string(c.lines) +
                                  " > '" + listing.string() + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    } else {
      std::ofstream(listing, std::ios::binary) << one_node_listing(c.id, c.lines);
    }

    const fs::path fifo = dir.path() / (std::to_string(c.id) + "_acc.x");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const Fd reader(open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_GE(reader.get(), 0) << std::strerror(errno);
    const int capacity = fcntl(reader.get(), F_SETPIPE_SZ, 4096);
    ASSERT_GT(capacity, 0) << std::strerror(errno);
    ASSERT_GT(static_cast<std::size_t>(c.lines) * kLineSize, static_cast<std::size_t>(capacity));

    // Standard input a pipe holding the answers; standard error a pipe.
    int answers[2];
    int errors[2];
    ASSERT_EQ(pipe2(answers, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
    const Fd answers_read(answers[0]);
    Fd answers_write(answers[1]);
    const Fd errors_read(errors[0]);
    Fd errors_write(errors[1]);
    const std::string input = "listing.out\n1\n";
    ASSERT_EQ(write(answers_write.get(), input.data(), input.size()), static_cast<ssize_t>(input.size()));
    answers_write.reset();

    const std::string work = dir.path().string();
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open("/dev/null", O_WRONLY);
      if (out < 0 || dup2(answers_read.get(), STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
          dup2(errors_write.get(), STDERR_FILENO) < 0 || chdir(work.c_str()) != 0) {
        _exit(126);
      }
      execl(VANDORAK_BINARY, VANDORAK_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    Child child(pid);
    errors_write.reset();

    const Clock::time_point deadline = Clock::now() + kTimeout;
    pollfd written{reader.get(), POLLIN, 0};
    while (poll(&written, 1, 10) == 0 && Clock::now() < deadline) {
    }
    ASSERT_NE(written.revents & POLLIN, 0) << "nothing written to " << fifo.filename();
    ASSERT_EQ(kill(pid, SIGINT), 0);

    std::string stderr_text;
    const std::optional<int> status = child.finish(errors_read.get(), stderr_text);
    ASSERT_TRUE(status.has_value()) << "still running after SIGINT";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT) << describe(*status);
    EXPECT_EQ(stderr_text, "interrupted while writing node " + std::to_string(c.id) + "\n");
  }
}

}  // namespace
