// The audio device of the headless build. It plays nothing by itself: tests
// move its play position, and can read what it plays.
#pragma once

#include <cstdint>

// While set, opening the device fails, as with no sound hardware.
void headlessAudioRefuseOpen(bool refuse);
// The device is open; and it has been handed the ring and plays it.
bool headlessAudioOpen();
bool headlessAudioPlaying();
// Plays `frames` frames of the ring from the play position, as a device
// would, and advances the byte counter. With `out` the samples played (two
// per frame) are written there. Does nothing unless the device plays.
void headlessAudioPlay(uint32_t frames, int16_t* out);
// Advances the byte counter by whole rings without playing, as if the device
// had been running for that long: the play position stays where it is.
void headlessAudioSkipRings(uint32_t rings);
// The device's 32-bit count of played bytes.
uint32_t headlessAudioBytesPlayed();
// While set, the audio thread's next reading of the byte counter waits until
// it is cleared, so that a test can act at a known point of the thread's
// loop: between its reading and the fills that follow.
void headlessAudioHoldReadings(bool hold);
// A reading is waiting on the hold.
bool headlessAudioReadingHeld();
// While set, starting the audio thread returns only once the new thread has
// made its first reading of the byte counter, or has already finished: the
// order a scheduler may choose, made certain, so that a test sees what the
// thread finds before playSong returns.
void headlessAudioAwaitThreadStart(bool await);
