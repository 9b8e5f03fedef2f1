// The real-time player as a user starts it: through SDL's disk audio driver,
// which writes what the device is given to a file in real time, it must play
// exactly what xm2wav renders, then silence; its facts must agree with
// xm2wav's once-through render; modules it cannot read are named and
// skipped; Ctrl-C fades out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/music/test_support.h"
#include "tools/make_music/make_music.h"

namespace {

int run(const std::string& command) { return std::system(command.c_str()); }

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}

std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

size_t firstNonZero(const std::vector<uint8_t>& bytes, size_t from) {
  while (from < bytes.size() && bytes[from] == 0) ++from;
  return from;
}

}  // namespace

TEST(Playxm, PlaysExactlyWhatXm2wavRendersThenStops) {
  // Two orders of 16 rows: 3.8 s with notes, slides and a volume envelope.
  xm::Module m = testing_music::basicModule(2, 16);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.patterns[0].at(4, 1, 2) = {56, 1, 0x30, 0x1, 0x08};
  m.patterns[0].at(9, 0, 2) = {44, 1, 0, 0xA, 0x04};
  m.patterns[0].at(13, 1, 2) = {97, 0, 0, 0, 0};
  m.orders = {0, 0};
  ASSERT_TRUE(xm::writeFile(m, "playxm_test.xm"));
  ASSERT_EQ(run(std::string(XM2WAV_PATH) + " playxm_test.xm playxm_test.wav"), 0);
  std::vector<uint8_t> wav = readFile("playxm_test.wav");
  ASSERT_EQ(wav.size(), 44u + 2 * 16 * 6 * 882 * 4);
  const std::vector<uint8_t> pcm(wav.begin() + 44, wav.end());

  std::remove("playxm_test.raw");
  ASSERT_EQ(run("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=playxm_test.raw " + std::string(PLAYXM_PATH) +
                " --quiet playxm_test.xm > playxm_test_out.txt 2> playxm_test_err.txt"),
            0)
      << readText("playxm_test_err.txt");
  // Quiet: nothing on the standard output (SDL's disk driver says where it writes on the error output).
  EXPECT_EQ(readText("playxm_test_out.txt"), "");
  const std::vector<uint8_t> disk = readFile("playxm_test.raw");
  // The device runs silent from its opening until the ring starts: the song
  // begins where the disk's first sound lines up with the render's.
  const size_t soundInPcm = firstNonZero(pcm, 0);
  const size_t soundOnDisk = firstNonZero(disk, 0);
  ASSERT_LT(soundInPcm, pcm.size());
  ASSERT_GE(soundOnDisk, soundInPcm);
  const size_t start = soundOnDisk - soundInPcm;
  EXPECT_EQ(start % 4, 0u);
  ASSERT_GE(disk.size(), start + pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), disk.begin() + static_cast<std::ptrdiff_t>(start)));
  // Silence after the song's end, until the player has stopped the device.
  EXPECT_EQ(firstNonZero(disk, start + pcm.size()), disk.size());
}

TEST(Playxm, InfoAgreesWithXm2wavAndUnreadableModulesAreSkipped) {
  ASSERT_TRUE(xm::writeFile(music_gen::makeModule(), "playxm_quenvar2.xm"));
  ASSERT_EQ(run(std::string(XM2WAV_PATH) + " playxm_quenvar2.xm playxm_quenvar2.wav"), 0);
  const size_t frames = (readFile("playxm_quenvar2.wav").size() - 44) / 4;
  Song* song = testing_music::loadBytes(readFile("playxm_quenvar2.xm"));
  SongFacts facts;
  ASSERT_TRUE(songFacts(song, facts));
  EXPECT_EQ(facts.lengthFrames, static_cast<int64_t>(frames));
  freeSong(song);

  std::FILE* f = std::fopen("playxm_not_a_module.xm", "wb");
  std::fputs("not a module", f);
  std::fclose(f);
  const int status = run(std::string(PLAYXM_PATH) +
                         " --info no_such_module.xm playxm_quenvar2.xm playxm_not_a_module.xm"
                         " > playxm_info.txt 2> playxm_info_err.txt");
  EXPECT_NE(status, 0);
  const std::string info = readText("playxm_info.txt");
  EXPECT_NE(info.find("Title:       quenvar2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Channels:    12\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Orders:      15\n"), std::string::npos) << info;
  // 3938292 frames: 89.3 s.
  EXPECT_NE(info.find("Length:      1:29.3"), std::string::npos) << info;
  const std::string errors = readText("playxm_info_err.txt");
  EXPECT_NE(errors.find("cannot open no_such_module.xm"), std::string::npos) << errors;
  EXPECT_NE(errors.find("playxm_not_a_module.xm is not an XM module"), std::string::npos) << errors;
}

// Ctrl-C while a note sounds: the player fades the sound out rather than
// cutting it, and exits with the interrupt's status.
TEST(Playxm, CtrlCStopsWithoutAClick) {
  xm::Module m = testing_music::basicModule(2, 16);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.orders = {0, 0};
  ASSERT_TRUE(xm::writeFile(m, "playxm_interrupt.xm"));
  std::remove("playxm_interrupt.raw");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "playxm_interrupt.raw", 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    execl(PLAYXM_PATH, "playxm", "--quiet", "playxm_interrupt.xm", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Half a second of sound on the disk, then the interrupt.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (readFile("playxm_interrupt.raw").size() < 22050 * 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);

  const std::vector<uint8_t> disk = readFile("playxm_interrupt.raw");
  std::vector<int16_t> left;
  for (size_t i = 0; i + 3 < disk.size(); i += 4) left.push_back(static_cast<int16_t>(disk[i] | disk[i + 1] << 8));
  size_t last = left.size();
  while (last > 0 && left[last - 1] == 0) --last;
  ASSERT_GT(last, 22050u);
  ASSERT_LT(last, left.size() + 1);
  // The note's level before the fade, and how the sound ends: within a few
  // units of silence, with no step larger than the wave's own at a low level.
  int before = 0;
  for (size_t i = last - 2 * 882; i < last - 882; ++i) before = std::max(before, std::abs(left[i]));
  int tail = 0;
  for (size_t i = last - 88; i < last; ++i) tail = std::max(tail, std::abs(left[i]));
  EXPECT_GT(before, 1000);
  EXPECT_LT(tail * 8, before) << "the last 2 ms are not faded";
}
