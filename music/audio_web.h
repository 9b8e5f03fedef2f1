// Audio output in a web page (audio_web.cpp, which also provides playSong):
// the page has no threads to spare, so the main loop polls the device and
// refills the ring itself.
#pragma once

#include "music/music.h"

// Mixes every block the device has finished playing since the last call and
// hands it over. Called once per pass of the main loop.
void pumpAudio();
