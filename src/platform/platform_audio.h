// platform_audio.h -- the sound output device: secondary buffers of PCM
// samples mixed by our own mixer into one 16-bit output stream.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// ----------------------------------------------------------------------------
// Sound output
//
// The engine's sound system was designed against a device of secondary
// buffers: each buffer holds PCM samples of its own format, has a play
// cursor, a volume, a pan and a frequency, and is mixed into one output.
// This is that device, with the mixer written here:
// - The device mixes every playing buffer into signed 16-bit output at the
//   output format's rate (44100 Hz stereo in the engine). The system driver
//   runs the mixer on SDL's audio thread; the null driver mixes only when
//   AdvanceAudioClock is called and keeps what it mixed, so tests are
//   deterministic and hear exactly what would have been played.
// - All buffer operations take the device's lock, so they may be called
//   while the mixer runs. Call them from one thread (the main thread).
// - Volumes are in 1/100 dB, -10000 (silent) to 0 (unchanged); pans in
//   1/100 dB of attenuation of the other side, -10000 (left only) to 10000
//   (right only). Values outside are clamped.
// - A duplicate shares its original's samples (writes through either are
//   heard by both) but has its own cursor, state, volume, pan and frequency.
//   The samples live until the last buffer that shares them is released.
// ----------------------------------------------------------------------------

struct AudioDevice;  // opaque outside platform/
struct AudioBuffer;  // opaque outside platform/

enum class AudioDriver {
  System,  // the desktop's sound output through SDL (SDL_AUDIODRIVER picks)
  Null,    // no output: mixed by AdvanceAudioClock into a capture
};

// A PCM format, laid out as the sound files store it.
struct PcmFormat {
  int channels = 0;        // 1 or more; channels past the second are not heard
  int sampleRate = 0;      // frames per second
  int avgBytesPerSec = 0;  // sampleRate x blockAlign
  int blockAlign = 0;      // bytes per frame: channels x bitsPerSample / 8
  int bitsPerSample = 0;   // 8 (unsigned), 16, 24 or 32 (signed)
};

// The format of `channels` channels of `bitsPerSample` at `sampleRate`, with
// the block size and byte rate that follow from them.
PcmFormat PcmFormatOf(int channels, int sampleRate, int bitsPerSample);

// True when a buffer can hold samples of this format: the sizes agree, the
// sample size is one of the four and the rate lies in 100..200000.
bool IsPlayablePcmFormat(const PcmFormat& format);

// Buffer status bits.
enum : unsigned {
  kAudioPlaying = 0x1,     // the buffer is playing
  kAudioLooping = 0x4,     // ... and loops
  kAudioTerminated = 0x20, // stopped by the device (never set by our mixer,
                           // which has no voice limit; kept for its users)
};

constexpr int kAudioVolumeMin = -10000;
constexpr int kAudioVolumeMax = 0;
constexpr int kAudioPanLeft = -10000;
constexpr int kAudioPanRight = 10000;
constexpr uint32_t kAudioFrequencyMin = 100;
constexpr uint32_t kAudioFrequencyMax = 200000;

// Opens the device: the audio subsystem for the system driver, nothing for
// the null driver. Null when there is no sound output (the reason goes to
// `error` when given). Output starts with SetAudioOutputFormat.
AudioDevice* CreateAudioDevice(AudioDriver driver, const char** error = nullptr);
// Stops the output and releases every buffer still alive, then the device.
void DestroyAudioDevice(AudioDevice* device);

// Starts (or restarts) the output in `format`: 16-bit, 1 or 2 channels, any
// rate. False when the device refuses the format or cannot start.
bool SetAudioOutputFormat(AudioDevice* device, const PcmFormat& format);
// The output format (channels 0 before SetAudioOutputFormat succeeded).
PcmFormat GetAudioOutputFormat(const AudioDevice* device);

// A new buffer of `bytes` bytes (whole frames are played), zero samples
// (128 for 8-bit), stopped at position 0, volume 0, pan 0, frequency of the
// format. Null when the format is not playable or `bytes` holds no frame.
AudioBuffer* CreateAudioBuffer(AudioDevice* device, const PcmFormat& format, uint32_t bytes);
// A new buffer sharing the samples of `original`, stopped at position 0 with
// the defaults above. Null on failure.
AudioBuffer* DuplicateAudioBuffer(AudioBuffer* original);
// Stops and frees the buffer; null is ignored.
void ReleaseAudioBuffer(AudioBuffer* buffer);

// The buffer's format and size in bytes.
PcmFormat GetAudioBufferFormat(const AudioBuffer* buffer);
uint32_t GetAudioBufferSize(const AudioBuffer* buffer);

// Write access to `bytes` bytes from `offset`, wrapping at the end of the
// buffer: the first region runs from offset to at most the end, the second
// (size 0 when the range does not wrap) from the start. `bytes` larger than
// the buffer is cut to its size. The mixer waits until UnlockAudioBuffer, so
// keep the two calls close together. False (nothing locked) when `offset`
// lies outside the buffer.
bool LockAudioBuffer(AudioBuffer* buffer, uint32_t offset, uint32_t bytes, void** region1, uint32_t* size1,
                     void** region2, uint32_t* size2);
void UnlockAudioBuffer(AudioBuffer* buffer);

// Plays from the current position; a looping buffer plays until stopped, one
// that does not loop stops at its end and its position goes back to 0.
// False when the device has no output.
bool PlayAudioBuffer(AudioBuffer* buffer, bool loop);
// Stops the buffer; its position stays where it was.
void StopAudioBuffer(AudioBuffer* buffer);
unsigned GetAudioBufferStatus(const AudioBuffer* buffer);

// The play cursor in bytes (a multiple of the block size). Setting it past
// the end puts it at the last frame.
uint32_t GetAudioBufferPosition(const AudioBuffer* buffer);
void SetAudioBufferPosition(AudioBuffer* buffer, uint32_t bytes);

void SetAudioBufferVolume(AudioBuffer* buffer, int volume);
int GetAudioBufferVolume(const AudioBuffer* buffer);
void SetAudioBufferPan(AudioBuffer* buffer, int pan);
int GetAudioBufferPan(const AudioBuffer* buffer);
// Frames per second the buffer is played at, resampled to the output rate;
// 0 goes back to the format's own rate; others are clamped to 100..200000.
void SetAudioBufferFrequency(AudioBuffer* buffer, uint32_t frequency);
uint32_t GetAudioBufferFrequency(const AudioBuffer* buffer);

// The null driver's clock: mixes `frames` output frames now and appends them
// to the capture (interleaved 16-bit samples of the output format). Does
// nothing for the system driver or before the output format is set.
void AdvanceAudioClock(AudioDevice* device, uint32_t frames);
// The captured samples since the last call; the capture is emptied.
std::vector<int16_t> TakeCapturedAudio(AudioDevice* device);
// Mixes `frames` output frames into `out` (interleaved, output format)
// without touching the capture: the mixer itself, for measurements.
void MixAudio(AudioDevice* device, int16_t* out, uint32_t frames);

}  // namespace platform
