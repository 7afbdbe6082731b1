// platform_audio.cpp -- the sound output device over SDL2 audio (or the
// null driver), with the mixer that plays the secondary buffers.

#include <SDL2/SDL.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/platform_local.h"

namespace platform {

static_assert(std::endian::native == std::endian::little, "the mixer reads little-endian samples in place");

// Samples shared by a buffer and its duplicates. The format and size are
// fixed at creation; the bytes change only under the device's lock.
struct SampleData {
  PcmFormat format;
  std::vector<uint8_t> bytes;
  uint32_t frames = 0;  // whole frames in bytes
};

// Everything of a buffer but its samples is guarded by its device's lock.
// Invariant: `playing` is true exactly when the buffer is in its device's
// `playing` list. The cursor may stand past the last frame after a block;
// the mixer wraps it (looping) or stops the buffer before reading again.
struct AudioBuffer {
  AudioDevice* device = nullptr;
  std::shared_ptr<SampleData> samples;
  uint32_t frame = 0;   // play cursor: whole frames...
  uint32_t phase = 0;   // ... plus phase / output rate of a frame
  bool playing = false;
  bool looping = false;
  int volume = 0;
  int pan = 0;
  uint32_t frequency = 0;  // 0: the format's rate
  float gainLeft = 1.0f;   // from volume and pan
  float gainRight = 1.0f;
};

struct AudioDevice {
  AudioDriver driver = AudioDriver::Null;
  // Guards every field below and every buffer's state and samples. Taken by
  // the mixer for each block it mixes, and held by the main thread from
  // LockAudioBuffer to UnlockAudioBuffer (hence recursive: a buffer call in
  // between must not deadlock its own thread).
  std::recursive_mutex mutex;
  SDL_AudioDeviceID sdl = 0;     // the open output of the system driver
  bool subsystemStarted = false; // SDL's audio subsystem is ours to quit
  PcmFormat output{};            // channels 0 until the output starts
  std::vector<AudioBuffer*> buffers;  // every live buffer
  std::vector<AudioBuffer*> playing;  // the playing ones, in start order
  std::vector<float> mix;             // scratch: 2 floats per output frame
  std::vector<int16_t> capture;       // null driver: everything mixed
};

namespace {

// 1/100 dB to a linear factor; -10000 is silence.
float GainOf(int hundredthsDb) {
  if (hundredthsDb <= kAudioVolumeMin) return 0.0f;
  return float(std::pow(10.0, double(hundredthsDb) / 2000.0));
}

void UpdateGains(AudioBuffer* b) {
  float gain = GainOf(b->volume);
  b->gainLeft = gain * (b->pan > 0 ? GainOf(-b->pan) : 1.0f);
  b->gainRight = gain * (b->pan < 0 ? GainOf(b->pan) : 1.0f);
}

// One sample of `kBytes` bytes as a float on the 16-bit scale: every format
// is mixed in floats at 16-bit loudness, so 8-bit sounds are as loud as
// 16-bit ones and deeper formats keep their fraction until the final round.
template <int kBytes>
inline float ReadSample(const uint8_t* p) {
  if constexpr (kBytes == 1) {
    return (float(p[0]) - 128.0f) * 256.0f;
  } else if constexpr (kBytes == 2) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return float(v);
  } else if constexpr (kBytes == 3) {
    int32_t v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
    return float(v) * (1.0f / 65536.0f);
  } else {
    int32_t v;
    std::memcpy(&v, p, 4);
    return float(v) * (1.0f / 65536.0f);
  }
}

// Adds `frames` output frames of one buffer to `mix` (stereo floats),
// resampling linearly from the buffer's frequency to `outRate`. Sources of
// more than two channels are heard through their first two. Returns false
// when a buffer that does not loop ran out (it is then stopped at 0).
template <int kBytes, bool kStereo>
bool MixBuffer(AudioBuffer* b, float* mix, uint32_t frames, uint32_t outRate) {
  const SampleData& s = *b->samples;
  const uint8_t* base = s.bytes.data();
  const uint32_t count = s.frames;
  const uint32_t stride = uint32_t(s.format.blockAlign);
  const uint32_t rate = b->frequency ? b->frequency : uint32_t(s.format.sampleRate);
  // The cursor advances rate / outRate frames per output frame, kept exact
  // as whole frames plus a phase in 1/outRate: positions never drift.
  const uint32_t stepFrames = rate / outRate;
  const uint32_t stepPhase = rate % outRate;
  const float phaseScale = 1.0f / float(outRate);
  const float gl = b->gainLeft, gr = b->gainRight;
  uint32_t frame = b->frame, phase = b->phase;
  const bool looping = b->looping;
  for (uint32_t i = 0; i < frames; i++) {
    if (frame >= count) {
      if (!looping) {
        b->playing = false;
        b->frame = 0;
        b->phase = 0;
        return false;
      }
      frame %= count;
    }
    uint32_t next = frame + 1;
    if (next >= count) next = looping ? 0 : frame;
    const uint8_t* p0 = base + size_t(frame) * stride;
    const uint8_t* p1 = base + size_t(next) * stride;
    float t = float(phase) * phaseScale;
    float l0 = ReadSample<kBytes>(p0);
    float l = l0 + (ReadSample<kBytes>(p1) - l0) * t;
    float r = l;
    if constexpr (kStereo) {
      float r0 = ReadSample<kBytes>(p0 + kBytes);
      r = r0 + (ReadSample<kBytes>(p1 + kBytes) - r0) * t;
    }
    mix[2 * i] += l * gl;
    mix[2 * i + 1] += r * gr;
    frame += stepFrames;
    phase += stepPhase;
    if (phase >= outRate) {
      phase -= outRate;
      frame++;
    }
  }
  b->frame = frame;
  b->phase = phase;
  return true;
}

using MixFunction = bool (*)(AudioBuffer*, float*, uint32_t, uint32_t);

MixFunction MixFunctionFor(const PcmFormat& f) {
  bool stereo = f.channels >= 2;
  switch (f.bitsPerSample) {
    case 8: return stereo ? MixBuffer<1, true> : MixBuffer<1, false>;
    case 16: return stereo ? MixBuffer<2, true> : MixBuffer<2, false>;
    case 24: return stereo ? MixBuffer<3, true> : MixBuffer<3, false>;
    default: return stereo ? MixBuffer<4, true> : MixBuffer<4, false>;
  }
}

// Clips instead of wrapping: a loud moment of many copies distorts rather
// than turning into noise.
int16_t ToSample(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return int16_t(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

// Mixes `frames` frames of every playing buffer into `out` in the output
// format. The caller holds the device's lock.
void MixLocked(AudioDevice* d, int16_t* out, uint32_t frames) {
  const int channels = d->output.channels;
  const uint32_t outRate = uint32_t(d->output.sampleRate);
  if (channels <= 0 || outRate == 0) return;
  // In blocks, so the scratch stays small whatever the caller asks for.
  constexpr uint32_t kBlock = 1024;
  if (d->mix.size() < 2 * kBlock) d->mix.resize(2 * kBlock);
  float* mix = d->mix.data();
  while (frames > 0) {
    uint32_t n = std::min(frames, kBlock);
    std::fill(mix, mix + 2 * n, 0.0f);
    bool someEnded = false;
    for (AudioBuffer* b : d->playing)
      if (!MixFunctionFor(b->samples->format)(b, mix, n, outRate)) someEnded = true;
    if (someEnded)
      d->playing.erase(std::remove_if(d->playing.begin(), d->playing.end(), [](AudioBuffer* b) { return !b->playing; }),
                       d->playing.end());
    if (channels == 2) {
      for (uint32_t i = 0; i < 2 * n; i++) out[i] = ToSample(mix[i]);
    } else {
      for (uint32_t i = 0; i < n; i++) out[i] = ToSample((mix[2 * i] + mix[2 * i + 1]) * 0.5f);
    }
    out += size_t(n) * channels;
    frames -= n;
  }
}

// SDL's audio thread asks for the next block here. The lock is held for the
// whole block (about 23 ms of sound mixed in well under a millisecond), so
// the main thread waits at most that long for any buffer call.
void SdlCallback(void* user, Uint8* stream, int len) {
  auto* d = static_cast<AudioDevice*>(user);
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  int frameBytes = 2 * std::max(d->output.channels, 1);
  std::memset(stream, 0, size_t(len));
  MixLocked(d, reinterpret_cast<int16_t*>(stream), uint32_t(len / frameBytes));
}

void CloseOutput(AudioDevice* d) {
  // Closing waits for the callback, which takes the lock: never hold it here.
  if (d->sdl) SDL_CloseAudioDevice(d->sdl);
  d->sdl = 0;
}

void Unlink(std::vector<AudioBuffer*>& list, AudioBuffer* b) {
  list.erase(std::remove(list.begin(), list.end(), b), list.end());
}

AudioBuffer* NewBuffer(AudioDevice* d, std::shared_ptr<SampleData> samples) {
  auto* b = new AudioBuffer;
  b->device = d;
  b->samples = std::move(samples);
  UpdateGains(b);
  d->buffers.push_back(b);
  return b;
}

}  // namespace

PcmFormat PcmFormatOf(int channels, int sampleRate, int bitsPerSample) {
  PcmFormat f;
  f.channels = channels;
  f.sampleRate = sampleRate;
  f.bitsPerSample = bitsPerSample;
  f.blockAlign = channels * bitsPerSample / 8;
  f.avgBytesPerSec = sampleRate * f.blockAlign;
  return f;
}

bool IsPlayablePcmFormat(const PcmFormat& f) {
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 && f.bitsPerSample != 32) return false;
  if (f.channels < 1 || f.channels > 8) return false;
  if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
  if (uint32_t(f.sampleRate) < kAudioFrequencyMin || uint32_t(f.sampleRate) > kAudioFrequencyMax) return false;
  return f.avgBytesPerSec == f.sampleRate * f.blockAlign;
}

// SDL counts the audio subsystem's users, so this device quitting it later
// leaves other users of SDL untouched.
AudioDevice* CreateAudioDevice(AudioDriver driver, const char** error) {
  auto* d = new AudioDevice;
  d->driver = driver;
  if (driver == AudioDriver::System) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      if (error) *error = SDL_GetError();
      delete d;
      return nullptr;
    }
    d->subsystemStarted = true;
  }
  return d;
}

void DestroyAudioDevice(AudioDevice* d) {
  if (!d) return;
  CloseOutput(d);
  for (AudioBuffer* b : d->buffers) delete b;
  d->buffers.clear();
  d->playing.clear();
  if (d->subsystemStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  delete d;
}

bool SetAudioOutputFormat(AudioDevice* d, const PcmFormat& f) {
  if (!d || f.bitsPerSample != 16 || f.channels < 1 || f.channels > 2 || !IsPlayablePcmFormat(f)) return false;
  if (d->driver == AudioDriver::Null) {
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->output = f;
    return true;
  }
  CloseOutput(d);
  {
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->output = PcmFormat{};
  }
  SDL_AudioSpec want;
  std::memset(&want, 0, sizeof want);
  want.freq = f.sampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = Uint8(f.channels);
  want.samples = 1024;  // about 23 ms at 44100 Hz
  want.callback = SdlCallback;
  want.userdata = d;
  SDL_AudioSpec have;
  // No changes allowed: SDL converts to what the hardware takes, so the
  // mixer always writes the format asked for.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->sdl = id;
    d->output = f;
  }
  SDL_PauseAudioDevice(id, 0);
  return true;
}

PcmFormat GetAudioOutputFormat(const AudioDevice* d) {
  if (!d) return PcmFormat{};
  auto* md = const_cast<AudioDevice*>(d);
  std::lock_guard<std::recursive_mutex> lock(md->mutex);
  return d->output;
}

AudioBuffer* CreateAudioBuffer(AudioDevice* d, const PcmFormat& f, uint32_t bytes) {
  if (!d || !IsPlayablePcmFormat(f) || bytes < uint32_t(f.blockAlign)) return nullptr;
  auto samples = std::make_shared<SampleData>();
  samples->format = f;
  samples->bytes.assign(bytes, f.bitsPerSample == 8 ? 128 : 0);
  samples->frames = bytes / uint32_t(f.blockAlign);
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  return NewBuffer(d, std::move(samples));
}

AudioBuffer* DuplicateAudioBuffer(AudioBuffer* original) {
  if (!original) return nullptr;
  AudioDevice* d = original->device;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  return NewBuffer(d, original->samples);
}

void ReleaseAudioBuffer(AudioBuffer* b) {
  if (!b) return;
  AudioDevice* d = b->device;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  Unlink(d->playing, b);
  Unlink(d->buffers, b);
  delete b;
}

// The getters only read, but the lock they take is not const.
#define AUDIO_LOCK(b) std::lock_guard<std::recursive_mutex> lock(const_cast<AudioBuffer*>(b)->device->mutex)

PcmFormat GetAudioBufferFormat(const AudioBuffer* b) {
  if (!b) return PcmFormat{};
  return b->samples->format;  // fixed for the buffer's life
}

uint32_t GetAudioBufferSize(const AudioBuffer* b) { return b ? uint32_t(b->samples->bytes.size()) : 0; }

bool LockAudioBuffer(AudioBuffer* b, uint32_t offset, uint32_t bytes, void** region1, uint32_t* size1, void** region2,
                     uint32_t* size2) {
  *region1 = *region2 = nullptr;
  *size1 = *size2 = 0;
  if (!b) return false;
  std::vector<uint8_t>& data = b->samples->bytes;
  uint32_t size = uint32_t(data.size());
  if (offset >= size) return false;
  b->device->mutex.lock();  // released by UnlockAudioBuffer
  bytes = std::min(bytes, size);
  uint32_t first = std::min(bytes, size - offset);
  *region1 = data.data() + offset;
  *size1 = first;
  if (bytes > first) {
    *region2 = data.data();
    *size2 = bytes - first;
  }
  return true;
}

void UnlockAudioBuffer(AudioBuffer* b) {
  if (b) b->device->mutex.unlock();
}

// Playing a playing buffer only changes its loop flag: it is not restarted.
bool PlayAudioBuffer(AudioBuffer* b, bool loop) {
  if (!b) return false;
  AudioDevice* d = b->device;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  if (d->output.channels == 0) return false;
  b->looping = loop;
  if (!b->playing) {
    b->playing = true;
    d->playing.push_back(b);
  }
  return true;
}

void StopAudioBuffer(AudioBuffer* b) {
  if (!b) return;
  AUDIO_LOCK(b);
  if (b->playing) Unlink(b->device->playing, b);
  b->playing = false;
}

unsigned GetAudioBufferStatus(const AudioBuffer* b) {
  if (!b) return 0;
  AUDIO_LOCK(b);
  if (!b->playing) return 0;
  return kAudioPlaying | (b->looping ? kAudioLooping : 0u);
}

uint32_t GetAudioBufferPosition(const AudioBuffer* b) {
  if (!b) return 0;
  AUDIO_LOCK(b);
  // A looping cursor that just ran over the end is already at the start.
  uint32_t frame = b->frame < b->samples->frames ? b->frame : b->frame % b->samples->frames;
  return frame * uint32_t(b->samples->format.blockAlign);
}

void SetAudioBufferPosition(AudioBuffer* b, uint32_t bytes) {
  if (!b) return;
  AUDIO_LOCK(b);
  b->frame = std::min(bytes / uint32_t(b->samples->format.blockAlign), b->samples->frames - 1);
  b->phase = 0;
}

void SetAudioBufferVolume(AudioBuffer* b, int volume) {
  if (!b) return;
  AUDIO_LOCK(b);
  b->volume = std::clamp(volume, kAudioVolumeMin, kAudioVolumeMax);
  UpdateGains(b);
}

int GetAudioBufferVolume(const AudioBuffer* b) {
  if (!b) return kAudioVolumeMin;
  AUDIO_LOCK(b);
  return b->volume;
}

void SetAudioBufferPan(AudioBuffer* b, int pan) {
  if (!b) return;
  AUDIO_LOCK(b);
  b->pan = std::clamp(pan, kAudioPanLeft, kAudioPanRight);
  UpdateGains(b);
}

int GetAudioBufferPan(const AudioBuffer* b) {
  if (!b) return 0;
  AUDIO_LOCK(b);
  return b->pan;
}

void SetAudioBufferFrequency(AudioBuffer* b, uint32_t frequency) {
  if (!b) return;
  AUDIO_LOCK(b);
  b->frequency = frequency == 0 ? 0 : std::clamp(frequency, kAudioFrequencyMin, kAudioFrequencyMax);
}

uint32_t GetAudioBufferFrequency(const AudioBuffer* b) {
  if (!b) return 0;
  AUDIO_LOCK(b);
  return b->frequency ? b->frequency : uint32_t(b->samples->format.sampleRate);
}

#undef AUDIO_LOCK

void AdvanceAudioClock(AudioDevice* d, uint32_t frames) {
  if (!d || d->driver != AudioDriver::Null) return;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  if (d->output.channels == 0) return;
  size_t start = d->capture.size();
  d->capture.resize(start + size_t(frames) * d->output.channels);
  MixLocked(d, d->capture.data() + start, frames);
}

std::vector<int16_t> TakeCapturedAudio(AudioDevice* d) {
  std::vector<int16_t> out;
  if (!d) return out;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  out.swap(d->capture);
  return out;
}

void MixAudio(AudioDevice* d, int16_t* out, uint32_t frames) {
  if (!d) return;
  std::lock_guard<std::recursive_mutex> lock(d->mutex);
  std::fill(out, out + size_t(frames) * std::max(d->output.channels, 1), int16_t(0));
  MixLocked(d, out, frames);
}

}  // namespace platform
