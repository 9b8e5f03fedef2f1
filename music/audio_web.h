// Audio output in a web page (audio_web.cpp): the page has no threads to
// spare, so the main loop polls the device and refills the ring itself.
#pragma once

#include "music/music.h"

// Starts the song: the whole ring is mixed, then handed to the page's audio
// output, which plays it in a loop. False for a null song or when the page
// has no sound (no audio context); the pictures run on all the same.
bool playSong(Song* song);

// Mixes every block the device has finished playing since the last call and
// hands it over. Called once per pass of the main loop.
void pumpAudio();

// Stops the output and releases the player's buffers.
void stopAudio(Song* song);
