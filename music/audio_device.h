// The audio device and the thread services that real-time playback needs,
// one backend per platform: audio_win32.cpp (waveOut), audio_sdl.cpp (SDL2)
// and audio_headless.cpp (a device that tests drive). playback.cpp drives
// them from the main thread and from the audio thread.
#pragma once

#include <cstdint>

// Opens the output for 16-bit signed stereo PCM at mixRate, idle until the
// ring is handed over. False when there is no usable device.
bool openAudioDevice();
// Makes the ring (`bytes` long) known to the device.
void prepareAudioRing(int16_t* ring, uint32_t bytes);
// From now on the device plays the ring in an endless loop.
void startAudioRing();
// Bytes played since startAudioRing, counted in 32 bits: the count wraps.
uint32_t audioBytesPlayed();
// Stops the device at once; it no longer reads the ring.
void resetAudioDevice();
// The device forgets the ring, which may then be released.
void unprepareAudioRing();
void closeAudioDevice();

// Starts `body` on a thread of its own at the highest priority the platform
// grants. False when no thread could be created.
bool startAudioThread(void (*body)());
// Forgets the thread once its body has finished.
void forgetAudioThread();
void sleepMilliseconds(uint32_t milliseconds);
