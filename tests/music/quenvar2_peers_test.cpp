// Independent players accept the demo's module as it is, and agree with our
// player on how long it lasts. They serve only as a comparison here.
#include <gtest/gtest.h>
#include <xmp.h>

#include <cstdio>
#include <libopenmpt/libopenmpt.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/music/test_support.h"
#include "tools/make_music/make_music.h"

namespace {

double ourSeconds(const std::vector<uint8_t>& bytes) {
  Song* song = testing_music::loadBytes(bytes);
  const double seconds = static_cast<double>(measureSong(song, int64_t{200} * mixRate)) / mixRate;
  freeSong(song);
  return seconds;
}

// Runs a command and returns its standard output and error, with its exit status.
std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  *status = pclose(pipe);
  return out;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

TEST(Quenvar2Peers, LoadWithoutWarningsAndAgreeOnTheLength) {
  const std::vector<uint8_t> bytes = xm::write(music_gen::makeModule());
  const double ours = ourSeconds(bytes);

  std::ostringstream log;
  openmpt::module mpt(bytes, log);
  EXPECT_EQ(log.str(), "");
  EXPECT_NEAR(mpt.get_duration_seconds(), ours, 0.5);
  EXPECT_EQ(mpt.get_num_channels(), 12);

  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())), 0);
  xmp_module_info info;
  xmp_get_module_info(ctx, &info);
  EXPECT_NEAR(info.seq_data[0].duration / 1000.0, ours, 0.5);
  xmp_release_module(ctx);
  xmp_free_context(ctx);

  // The command-line players say nothing beyond their usual report.
  const std::string path = "quenvar2_peer.xm";
  ASSERT_TRUE(xm::writeFile(music_gen::makeModule(), path));
  int status = -1;
  const std::string mptInfo = run("openmpt123 --info " + path, &status);
  EXPECT_EQ(status, 0) << mptInfo;
  EXPECT_EQ(lower(mptInfo).find("warn"), std::string::npos) << mptInfo;
  EXPECT_NE(mptInfo.find("Duration...: 01:29"), std::string::npos) << mptInfo;
  const std::string xmpInfo = run("xmp --load-only " + path, &status);
  EXPECT_EQ(status, 0) << xmpInfo;
  EXPECT_EQ(lower(xmpInfo).find("warn"), std::string::npos) << xmpInfo;
  EXPECT_NE(xmpInfo.find("Duration     : 1min29s"), std::string::npos) << xmpInfo;
  std::remove(path.c_str());
}

}  // namespace
