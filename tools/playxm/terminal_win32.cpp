// The console on Windows: keys from the console input without echo, Ctrl-C
// and closing the console caught by a control handler.
#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/playxm/terminal.h"

namespace {

volatile LONG interruptSeen = 0;

BOOL WINAPI onControl(DWORD) {
  InterlockedExchange(&interruptSeen, 1);
  return TRUE;
}

}  // namespace

bool outputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool inputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
void catchInterrupt() { SetConsoleCtrlHandler(onControl, TRUE); }
bool interrupted() { return InterlockedCompareExchange(&interruptSeen, 0, 0) != 0; }
// The console reads keys one at a time through _getch already.
void takeKeys() {}
void restoreTerminal() {}

int readKey() {
  if (!inputIsTerminal() || !_kbhit()) return keyNone;
  const int c = _getch();
  if (c == 0 || c == 0xE0) {
    switch (_getch()) {
      case 0x48:
        return keyUp;
      case 0x50:
        return keyDown;
      case 0x4B:
        return keyLeft;
      case 0x4D:
        return keyRight;
      default:
        return keyNone;
    }
  }
  return c;
}

int terminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

void sleepMs(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
