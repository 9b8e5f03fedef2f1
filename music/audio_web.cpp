// Audio output in a web page, with the model of the other backends: the
// device plays the ring in an endless loop and reports how many frames it
// has played; the blocks it has finished with are mixed again and sent to
// it. The device is Web Audio: the RingPlayer of audio_web_worklet.js in an
// AudioWorklet, fed over its message port, or in a ScriptProcessorNode where
// AudioWorklet is missing. A page has no threads to spare, so the polling
// and refilling run in the main loop (pumpAudio) instead of an audio thread;
// the ring's two seconds cover any gap between animation frames.
//
// The page creates the AudioContext (at 44100 Hz) in its click-to-start
// handler, since browsers start sound only after a gesture, and loads the
// worklet module; it leaves Module.audioContext null when there is no sound.
#include "music/audio_web.h"

#include <emscripten.h>

#include <cstdint>

#include "music/player.h"

namespace {

bool deviceOpen = false;

// clang-format off
// Creates the output node with the pre-filled ring and starts it. False
// when the page has no audio context.
EM_JS(int, webAudioOpen, (const int16_t* ring, int ringFrames, int blockFrames), {
  const context = Module.audioContext;
  if (!context) return 0;
  const samples = HEAP16.slice(ring >> 1, (ring >> 1) + ringFrames * 2);
  const captureFrames = Module.audioCaptureFrames || 0;
  const device = {played: 0, underruns: 0, node: null, player: null, reportWaiting: null};
  try {
    if (Module.audioWorkletReady) {
      const options =
          {ringFrames: ringFrames, blockFrames: blockFrames, captureFrames: captureFrames, ring: samples};
      const node = new AudioWorkletNode(context, 'ring-player',
                                        {numberOfInputs: 0, outputChannelCount: [2], processorOptions: options});
      node.port.onmessage = function(event) {
        const m = event.data;
        if (m.type === 'status') {
          device.played = m.status.played;
          device.underruns = m.status.underruns;
        } else if (m.type === 'report' && device.reportWaiting) {
          device.reportWaiting(m.report);
          device.reportWaiting = null;
        }
      };
      device.node = node;
    } else {
      const player = new RingPlayer(ringFrames, blockFrames, captureFrames);
      player.load(samples);
      const node = context.createScriptProcessor(2048, 0, 2);
      node.onaudioprocess = function(event) {
        const out = event.outputBuffer;
        player.render(out.getChannelData(0), out.getChannelData(1));
        device.played = player.played;
        device.underruns = player.underruns;
      };
      device.node = node;
      device.player = player;
    }
    device.node.connect(context.destination);
  } catch (error) {
    console.warn('no audio output: ' + error);
    return 0;
  }
  // The tests read the counts and the captured frames through this.
  Module.audioReport = function() {
    if (device.player) return Promise.resolve(device.player.report());
    return new Promise(function(resolve) {
      device.reportWaiting = resolve;
      device.node.port.postMessage({type: 'report'});
    });
  };
  Module.audioDevice = device;
  return 1;
});

EM_JS(int, webAudioAvailable, (), { return Module.audioContext ? 1 : 0; });

EM_JS(double, webAudioPlayed, (), { return Module.audioDevice ? Module.audioDevice.played: 0; });

EM_JS(void, webAudioWrite, (int block, const int16_t* samples, int frames), {
  const device = Module.audioDevice;
  const copy = HEAP16.slice(samples >> 1, (samples >> 1) + frames * 2);
  if (device.player) {
    device.player.write(block, copy);
  } else {
    device.node.port.postMessage({type: 'write', block: block, samples: copy}, [copy.buffer]);
  }
});

// Stops the node; the counts stay readable for the tests.
EM_JS(void, webAudioClose, (), {
  const device = Module.audioDevice;
  if (!device) return;
  if (device.player) {
    device.node.onaudioprocess = null;
  } else {
    device.node.port.postMessage({type: 'stop'});
  }
  device.node.disconnect();
});
// clang-format on

// The device side of stopPlayback.
void closeOutput() {
  if (deviceOpen) webAudioClose();
  deviceOpen = false;
  player.closeOutput = nullptr;
}

}  // namespace

bool playSong(Song* song) {
  if (!song) return false;
  makeSongCurrent(song);
  // Without sound the song stays current but nothing plays.
  if (!webAudioAvailable()) return false;
  player.closeOutput = closeOutput;
  if (!allocatePlaybackBuffers()) {
    stopPlayback(song);
    return false;
  }
  // Every block holds music before the device starts.
  fillWholeRing();
  deviceOpen = webAudioOpen(player.ring, player.ringFrames, player.blockFrames) != 0;
  if (!deviceOpen) {
    stopPlayback(song);
    return false;
  }
  return true;
}

void pumpAudio() {
  if (!deviceOpen || !player.song) return;
  const uint64_t played = uint64_t(webAudioPlayed());
  const int32_t playingBlock = int32_t(played % uint64_t(player.ringFrames)) / player.blockFrames;
  while (player.fillIndex != playingBlock) {
    const int32_t block = player.fillIndex;
    const int16_t* samples = fillBlock();
    player.blocksFilled.fetch_add(1, std::memory_order_relaxed);
    webAudioWrite(block, samples, player.blockFrames);
  }
}

bool playedBytes(uint32_t& bytes) {
  if (!deviceOpen) return false;
  // Frames played, counted in bytes of 16-bit stereo in 32 bits, as the other
  // devices count them.
  bytes = uint32_t(uint64_t(webAudioPlayed()) * 4);
  return true;
}
