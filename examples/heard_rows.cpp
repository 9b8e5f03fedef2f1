// heard_rows MODULE.xm [SECONDS]
// Plays a module on the sound device and prints the row the listener hears
// whenever it changes: the position a demo would synchronise its effects to.
// Plays the song once through, or for SECONDS.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "music/music.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: heard_rows MODULE.xm [SECONDS]\n");
    return 2;
  }
  // Files are read through callbacks; these read a whole file into memory.
  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(argv[1]);
  if (!song) {
    std::fprintf(stderr, "heard_rows: cannot load %s\n", argv[1]);
    return 1;
  }
  SongFacts facts;
  songFacts(song, facts);
  std::printf("%s: %d channels, %.1f s\n", facts.title, facts.channels, facts.lengthSeconds);
  const double seconds = argc > 2 ? std::atof(argv[2]) : facts.lengthSeconds;

  if (!playSong(song)) {
    std::fprintf(stderr, "heard_rows: no sound device\n");
    freeSong(song);
    return 1;
  }
  int lastOrder = -1;
  int lastRow = -1;
  SongPosition heard;
  while (heardPosition(heard) && heard.seconds < seconds) {
    if (heard.order != lastOrder || heard.row != lastRow) {
      std::printf("%8.3f s  order %3d  pattern %3d  row %3d\n", heard.seconds, heard.order, heard.pattern, heard.row);
      std::fflush(stdout);
      lastOrder = heard.order;
      lastRow = heard.row;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  fadeOutPlayback(song);
  freeSong(song);
  return 0;
}
