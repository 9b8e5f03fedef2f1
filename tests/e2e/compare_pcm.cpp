// Checks that the sound a device played is the song as xm2wav renders it.
//
//   compare_pcm CAPTURE.raw REFERENCE.wav MIN_FRAMES
//
// CAPTURE.raw is raw 16-bit stereo PCM as the device received it. A device
// may play silence while it waits for its first buffer, so zero frames at the
// start of the capture are passed over, as many as the reference does not
// start with itself; the rest must equal the reference's first frames bit for
// bit, at least MIN_FRAMES of them. A device may drop its last frames when
// it is stopped, so the capture may end anywhere; and it may pad its last
// period with silence (Wine's ALSA output does, 441 frames, when its feed
// runs late on a busy machine), so up to 0.1 s of zero frames at the end are
// passed over too. Silence that replaced music in the middle still fails:
// the music after it would not follow on.
//
// Prints the number of frames compared, or where they first differ; exits 0
// when they match, 1 when not and 2 on a usage or file error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool readFile(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + count);
  std::fclose(file);
  return true;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The frames of a 16-bit stereo WAV file's data chunk, as 32-bit words.
bool wavFrames(const std::vector<uint8_t>& wav, std::vector<uint32_t>& frames) {
  if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
    return false;
  }
  for (size_t at = 12; at + 8 <= wav.size();) {
    const uint32_t size = le32(wav.data() + at + 4);
    if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      const size_t count = (wav.size() - at - 8 < size ? wav.size() - at - 8 : size) / 4;
      frames.resize(count);
      if (count > 0) std::memcpy(frames.data(), wav.data() + at + 8, count * 4);
      return true;
    }
    at += 8 + size + (size & 1);
  }
  return false;
}

size_t leadingSilence(const std::vector<uint32_t>& frames) {
  size_t n = 0;
  while (n < frames.size() && frames[n] == 0) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: compare_pcm CAPTURE.raw REFERENCE.wav MIN_FRAMES\n");
    return 2;
  }
  std::vector<uint8_t> captureBytes, wav;
  std::vector<uint32_t> reference;
  if (!readFile(argv[1], captureBytes)) {
    std::printf("no capture %s\n", argv[1]);
    return 1;
  }
  if (!readFile(argv[2], wav) || !wavFrames(wav, reference)) {
    std::fprintf(stderr, "compare_pcm: %s is no 16-bit stereo WAV file\n", argv[2]);
    return 2;
  }
  const size_t minFrames = std::strtoul(argv[3], nullptr, 10);
  std::vector<uint32_t> capture(captureBytes.size() / 4);
  if (!capture.empty()) std::memcpy(capture.data(), captureBytes.data(), capture.size() * 4);

  const size_t captureSilence = leadingSilence(capture);
  const size_t referenceSilence = leadingSilence(reference);
  const size_t skipped = captureSilence > referenceSilence ? captureSilence - referenceSilence : 0;
  size_t end = capture.size();
  constexpr size_t kStopPadding = 4410;
  while (end > skipped && capture.size() - end < kStopPadding && capture[end - 1] == 0) --end;
  const size_t padding = capture.size() - end;
  const size_t frames = end - skipped;
  if (frames > reference.size()) {
    std::printf("the capture (%zu frames) is longer than the reference (%zu)\n", frames, reference.size());
    return 2;
  }
  for (size_t i = 0; i < frames; ++i) {
    if (capture[skipped + i] != reference[i]) {
      std::printf("frame %zu differs (after %zu silent frames): %08x, not %08x\n", i, skipped,
                  unsigned(capture[skipped + i]), unsigned(reference[i]));
      return 1;
    }
  }
  std::printf("%zu frames match (after %zu silent frames, before %zu)\n", frames, skipped, padding);
  if (frames < minFrames) {
    std::printf("but %zu were expected at least\n", minFrames);
    return 1;
  }
  return 0;
}
