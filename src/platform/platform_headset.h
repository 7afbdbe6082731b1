// platform_headset.h -- the head-mounted display runtime as the renderer sees
// it: a display handle, its eyes' fields of view, tracking and frame submit.
#pragma once

#include <cstdint>

namespace platform {

struct Window;
struct GfxTexture;

// An eye's field of view as the tangents of its four half-angles.
struct HeadsetFov {
  float up = 0, down = 0, left = 0, right = 0;
};

struct HeadsetPose {
  float orientation[4] = {0, 0, 0, 1};  // quaternion x, y, z, w
  float position[3] = {};
};

// How one eye is rendered, as the runtime configured it.
struct HeadsetEyeDesc {
  int eye = 0;
  HeadsetFov fov;
  int viewport[4] = {};  // distorted viewport x, y, width, height
  float pixelsPerTangent[2] = {};
  float headToEye[3] = {};
};

// The image handed over for one eye.
struct HeadsetEyeTexture {
  int api = 0;
  int width = 0, height = 0;
  int viewport[4] = {};
  GfxTexture* texture = nullptr;
};

struct HeadsetTracking {
  HeadsetPose head;
  uint32_t status = 0;
};

constexpr int kHeadsetApiDevice = 3;                      // eye textures are the device's own
constexpr uint32_t kHeadsetOrientationTracked = 0x1;      // tracking status bit
constexpr uint32_t kHeadsetTrackOrientationAndYaw = 0x30; // orientation, magnetic yaw correction
constexpr uint32_t kHeadsetDistortionCaps = 0x8A;         // time warp, vignette, overdrive

// One opened display. Every call works on the main thread only.
class HeadMountedDisplay {
 public:
  virtual ~HeadMountedDisplay() = default;
  virtual HeadsetFov DefaultEyeFov(int eye) = 0;
  // The recommended eye texture size for a field of view.
  virtual void FovTextureSize(int eye, const HeadsetFov& fov, float pixelsPerDisplayPixel, int* width,
                              int* height) = 0;
  virtual void Resolution(int* width, int* height) = 0;
  // Sets up distortion for a back buffer of the given size and fills the two
  // eyes' render descriptions. Non-zero on success.
  virtual int ConfigureRendering(int backWidth, int backHeight, int multisample, uint32_t distortionCaps,
                                 const HeadsetFov fov[2], HeadsetEyeDesc out[2]) = 0;
  virtual int AttachToWindow(Window* window) = 0;
  virtual void BeginFrame(unsigned frameIndex) = 0;
  // Removes the health-and-safety notice.
  virtual void DismissSafetyNotice() = 0;
  // Distorts and presents the two eye images.
  virtual void EndFrame(const HeadsetPose poses[2], const HeadsetEyeTexture textures[2]) = 0;
  virtual void EyePoses(unsigned frameIndex, const float headToEye[2][3], HeadsetPose out[2]) = 0;
  virtual double TimeInSeconds() = 0;
  virtual HeadsetTracking TrackingState(double seconds) = 0;
  virtual int ConfigureTracking(uint32_t supported, uint32_t required) = 0;
  virtual void RecenterPose() = 0;
  // Closes the display; the object is not used afterwards.
  virtual void Destroy() = 0;
};

// The runtime's entry points. The platform's own finds no runtime: start
// fails and no display opens, as on a machine without one.
struct HeadsetApi {
  void* user = nullptr;
  // Loads and initialises the runtime; false when it is not installed.
  bool (*StartRuntime)(void* user) = nullptr;
  // Opens display `index`; null without a runtime or a display.
  HeadMountedDisplay* (*Create)(void* user, int index) = nullptr;
};

HeadsetApi PlatformHeadsetApi();

}  // namespace platform
