// What the platforms without a Win32 message queue keep for themselves: a
// queue of their own messages and the state of the keys the loop asks about.
#pragma once

#include <deque>

#include "driver/platform.h"

// A message queue looked at the way PeekMessage looks.
struct MessageQueue {
  std::deque<PlatformMessage> messages;

  bool peek(PlatformMessage& message, bool remove) {
    if (messages.empty()) return false;
    message = messages.front();
    if (remove) messages.pop_front();
    return true;
  }
  void post(uint32_t message, uintptr_t wParam) { messages.push_back({message, wParam}); }
};

// One key as GetAsyncKeyState reports it: down now, or pressed since the last
// query, so that a tap shorter than a frame is not lost.
struct KeyLatch {
  bool down = false;
  bool pressedSinceQuery = false;

  void press() {
    down = true;
    pressedSinceQuery = true;
  }
  void release() { down = false; }
  bool query() {
    const bool result = down || pressedSinceQuery;
    pressedSinceQuery = false;
    return result;
  }
};

// Space and Escape, the keys the loop checks.
struct LoopKeys {
  KeyLatch space;
  KeyLatch escape;

  KeyLatch* of(int key) {
    if (key == keySpace) return &space;
    if (key == keyEscape) return &escape;
    return nullptr;
  }
  bool query(int key) {
    KeyLatch* latch = of(key);
    return latch && latch->query();
  }
};
