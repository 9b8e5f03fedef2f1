// The terminal as playxm uses it: keys without echo or Enter, Ctrl-C as a
// flag, and the state put back however the program ends. One backend per
// platform: terminal_posix.cpp and terminal_win32.cpp.
#pragma once

enum Key : int {
  keyNone = -1,
  keyLeft = 0x100,
  keyRight,
  keyUp,
  keyDown,
};

// Whether standard output (for the status line) and standard input (for the
// keys) are terminals.
bool outputIsTerminal();
bool inputIsTerminal();
// Catches Ctrl-C (and a terminal hang-up or termination) from now on.
void catchInterrupt();
bool interrupted();
// Keys one at a time, without echo; restoreTerminal undoes it, and runs by
// itself at exit.
void takeKeys();
void restoreTerminal();
// The next key pressed, or keyNone.
int readKey();
// The terminal's width in columns, 80 when unknown.
int terminalColumns();
void sleepMs(int milliseconds);
