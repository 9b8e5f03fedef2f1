// The terminal on Linux: termios without canonical input or echo, signals
// caught into a flag, arrow keys read as their escape sequences.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "tools/playxm/terminal.h"

namespace {

volatile sig_atomic_t interruptSeen = 0;
bool keysTaken = false;
termios saved;

void onSignal(int) { interruptSeen = 1; }

bool byteReady(int milliseconds) {
  pollfd p = {STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, milliseconds) > 0 && (p.revents & POLLIN);
}

int readByte() {
  unsigned char c;
  return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

}  // namespace

bool outputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool inputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

void catchInterrupt() {
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool interrupted() { return interruptSeen != 0; }

void takeKeys() {
  if (keysTaken || !inputIsTerminal() || tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  // Signals stay on: Ctrl-C arrives as SIGINT and is caught.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  keysTaken = true;
  std::atexit(restoreTerminal);
}

void restoreTerminal() {
  if (!keysTaken) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  keysTaken = false;
}

int readKey() {
  if (!keysTaken || !byteReady(0)) return keyNone;
  const int c = readByte();
  if (c != 0x1B) return c;
  // An arrow is ESC [ A..D (or ESC O A..D); a lone Escape is itself.
  if (!byteReady(20)) return 0x1B;
  const int second = readByte();
  if ((second != '[' && second != 'O') || !byteReady(20)) return keyNone;
  switch (readByte()) {
    case 'A':
      return keyUp;
    case 'B':
      return keyDown;
    case 'C':
      return keyRight;
    case 'D':
      return keyLeft;
    default:
      return keyNone;
  }
}

int terminalColumns() {
  winsize size = {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void sleepMs(int milliseconds) {
  timespec t = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}
