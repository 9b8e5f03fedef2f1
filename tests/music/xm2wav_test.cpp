// Runs the xm2wav tool on modules the test writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/music/test_support.h"

namespace {

int run(const std::string& arguments) {
  const std::string command = std::string(XM2WAV_PATH) + " " + arguments + " 2>xm2wav_test_err.txt";
  int status = std::system(command.c_str());
  return status;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace

TEST(Xm2wav, RendersOnceThroughOrForAGivenTime) {
  xm::Module m = testing_music::basicModule(2, 16);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.orders = {0, 0};
  ASSERT_TRUE(xm::writeFile(m, "xm2wav_test.xm"));
  ASSERT_EQ(run("xm2wav_test.xm xm2wav_test.wav"), 0);
  std::vector<uint8_t> wav = readFile("xm2wav_test.wav");
  ASSERT_GE(wav.size(), 44u);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(le32(wav, 24), 44100u);
  const uint32_t frames = 2 * 16 * 6 * 882;  // two orders of 16 rows, then it repeats
  EXPECT_EQ(le32(wav, 40), frames * 4);
  EXPECT_EQ(wav.size(), 44u + frames * 4);

  ASSERT_EQ(run("xm2wav_test.xm - --seconds 0.5 > xm2wav_test_out.wav"), 0);
  wav = readFile("xm2wav_test_out.wav");
  EXPECT_EQ(wav.size(), 44u + 22050u * 4);

  EXPECT_NE(run("no_such_module.xm out.wav"), 0);
  const std::vector<uint8_t> err = readFile("xm2wav_test_err.txt");
  EXPECT_NE(std::string(err.begin(), err.end()).find("cannot open"), std::string::npos);
  std::FILE* f = std::fopen("xm2wav_test_bad.xm", "wb");
  std::fputs("not a module", f);
  std::fclose(f);
  EXPECT_NE(run("xm2wav_test_bad.xm out.wav"), 0);
  EXPECT_NE(run("xm2wav_test.xm"), 0);
  for (const char* name :
       {"xm2wav_test.xm", "xm2wav_test.wav", "xm2wav_test_out.wav", "xm2wav_test_err.txt", "xm2wav_test_bad.xm"}) {
    std::remove(name);
  }
}
