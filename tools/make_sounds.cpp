// make_sounds.cpp -- writes the engine's own built-in sound effects: short
// generated tones and noises, mono 22050 Hz 16-bit WAV files.
//
//   tkw4-make-sounds GAMES_FOLDER
//
// writes GAMES_FOLDER/ZadAzorad/Se, Corvane/Se, Mirelle/Se and Demo/Se. The output is
// the same on every run (the noise comes from a fixed generator), so the
// committed files can be made again byte for byte.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

enum class Wave { Sine, Square, Saw, None };

// One effect. The tone sweeps from f0 to f1 (in `steps` jumps when given,
// else smoothly); noise is mixed in through a one-pole low-pass. The
// envelope rises for `attack` seconds, then decays exponentially at `decay`
// per second; a looping sound keeps its level and fades neither end.
struct Recipe {
  const char* path;
  double seconds;
  Wave wave;
  double f0, f1;
  int steps;
  double noise;    // share of noise, 0..1
  double lowpass;  // noise filter coefficient, 0..1 (1: unfiltered)
  double attack;
  double decay;
  double tremolo;  // Hz of an amplitude wobble, 0 for none
  double gain;
  bool loop;
};

const Recipe kRecipes[] = {
    // Menu sounds.
    {"ZadAzorad/Se/01_Enter1.wav", 0.12, Wave::Square, 880, 1320, 2, 0, 1, 0.003, 12, 0, 0.35, false},
    {"ZadAzorad/Se/02_Enter2.wav", 0.16, Wave::Square, 660, 1320, 3, 0, 1, 0.003, 10, 0, 0.35, false},
    {"ZadAzorad/Se/03_Cancel1.wav", 0.12, Wave::Square, 660, 440, 2, 0, 1, 0.003, 12, 0, 0.35, false},
    {"ZadAzorad/Se/04_Cancel2.wav", 0.15, Wave::Saw, 520, 260, 0, 0, 1, 0.003, 10, 0, 0.35, false},
    {"ZadAzorad/Se/05_Select1.wav", 0.05, Wave::Sine, 1200, 1200, 0, 0, 1, 0.002, 40, 0, 0.5, false},
    {"ZadAzorad/Se/06_Select2.wav", 0.06, Wave::Sine, 1600, 1500, 0, 0, 1, 0.002, 35, 0, 0.5, false},
    // Flight and combat.
    {"Corvane/Se/07_crash.wav", 0.32, Wave::None, 0, 0, 0, 1, 0.25, 0.002, 6, 0, 0.9, false},
    {"Corvane/Se/08_bomb1.wav", 0.35, Wave::Sine, 70, 40, 0, 0.8, 0.12, 0.002, 5, 0, 0.95, false},
    {"Corvane/Se/09_bomb2.wav", 0.28, Wave::Sine, 90, 45, 0, 0.7, 0.2, 0.002, 6, 0, 0.95, false},
    {"Corvane/Se/10_hit1.wav", 0.15, Wave::None, 0, 0, 0, 1, 0.5, 0.001, 20, 0, 0.8, false},
    {"Corvane/Se/11_hit2.wav", 0.18, Wave::Sine, 200, 120, 0, 0.7, 0.35, 0.001, 18, 0, 0.8, false},
    {"Corvane/Se/12_hit3.wav", 0.12, Wave::None, 0, 0, 0, 1, 0.8, 0.001, 25, 0, 0.7, false},
    {"Corvane/Se/13_hit4.wav", 0.2, Wave::Sine, 150, 80, 0, 0.6, 0.3, 0.001, 14, 0, 0.85, false},
    {"Corvane/Se/14_beep1.wav", 0.1, Wave::Square, 1000, 1000, 0, 0, 1, 0.002, 0, 0, 0.3, false},
    {"Corvane/Se/15_beep2.wav", 0.1, Wave::Square, 1500, 1500, 0, 0, 1, 0.002, 0, 0, 0.3, false},
    {"Corvane/Se/16_beep3.wav", 0.2, Wave::Square, 800, 800, 0, 0, 1, 0, 0, 10, 0.3, true},
    {"Corvane/Se/17_beep4.wav", 0.2, Wave::Square, 1200, 1200, 0, 0, 1, 0, 0, 20, 0.3, true},
    {"Corvane/Se/18_beep5.wav", 0.12, Wave::Sine, 2000, 2000, 0, 0, 1, 0.002, 8, 0, 0.4, false},
    {"Corvane/Se/19_machine1.wav", 0.15, Wave::Square, 300, 600, 2, 0.3, 0.6, 0.001, 15, 0, 0.4, false},
    {"Corvane/Se/20_machine2.wav", 0.12, Wave::Square, 500, 250, 2, 0.3, 0.6, 0.001, 18, 0, 0.4, false},
    {"Corvane/Se/21_missile.wav", 0.35, Wave::Saw, 300, 120, 0, 0.8, 0.3, 0.05, 3, 0, 0.6, false},
    {"Corvane/Se/22_gun.wav", 0.08, Wave::None, 0, 0, 0, 1, 0.6, 0.001, 35, 0, 0.7, false},
    {"Corvane/Se/23_shotgun.wav", 0.2, Wave::Sine, 120, 60, 0, 0.8, 0.5, 0.001, 15, 0, 0.8, false},
    {"Corvane/Se/24_cannon.wav", 0.21, Wave::Sine, 80, 40, 0, 0.7, 0.25, 0.001, 9, 0, 0.9, false},
    {"Corvane/Se/25_electron.wav", 0.17, Wave::Saw, 1800, 400, 0, 0.1, 1, 0.002, 8, 30, 0.4, false},
    {"Corvane/Se/26_chain.wav", 0.2, Wave::Square, 100, 100, 0, 0.5, 0.7, 0, 0, 40, 0.4, true},
    {"Corvane/Se/27_chaingun.wav", 0.28, Wave::Saw, 60, 240, 0, 0.3, 0.5, 0.05, 1, 0, 0.5, false},
    {"Corvane/Se/28_beam.wav", 0.21, Wave::Sine, 700, 700, 0, 0.05, 1, 0.01, 3, 25, 0.45, false},
    {"Corvane/Se/29_hray.wav", 0.21, Wave::Square, 1600, 300, 0, 0, 1, 0.002, 6, 0, 0.3, false},
    {"Corvane/Se/30_laser.wav", 0.2, Wave::Saw, 2400, 500, 0, 0, 1, 0.002, 10, 0, 0.35, false},
    {"Corvane/Se/31_lightning1.wav", 0.35, Wave::None, 0, 0, 0, 1, 0.15, 0.001, 4, 13, 0.95, false},
    {"Corvane/Se/32_lightning2.wav", 0.28, Wave::None, 0, 0, 0, 1, 0.3, 0.001, 5, 9, 0.9, false},
    {"Corvane/Se/33_gogo.wav", 0.28, Wave::Square, 523, 1046, 4, 0, 1, 0.003, 3, 0, 0.3, false},
    {"Corvane/Se/34_scrumble.wav", 0.24, Wave::Square, 400, 900, 7, 0.1, 1, 0.003, 3, 0, 0.3, false},
    {"Corvane/Se/35_pi.wav", 0.07, Wave::Sine, 2000, 2000, 0, 0, 1, 0.002, 20, 0, 0.4, false},
    {"Corvane/Se/36_notice1.wav", 0.18, Wave::Sine, 880, 1320, 2, 0, 1, 0.003, 6, 0, 0.45, false},
    {"Corvane/Se/37_notice2.wav", 0.18, Wave::Sine, 1320, 880, 2, 0, 1, 0.003, 6, 0, 0.45, false},
    {"Corvane/Se/38_notice3.wav", 0.2, Wave::Sine, 660, 1320, 3, 0, 1, 0.003, 6, 0, 0.45, false},
    {"Corvane/Se/39_notice4.wav", 0.2, Wave::Square, 990, 1485, 2, 0, 1, 0.003, 6, 0, 0.3, false},
    {"Corvane/Se/40_notice5.wav", 0.2, Wave::Square, 740, 555, 2, 0, 1, 0.003, 6, 0, 0.3, false},
    {"Corvane/Se/41_notice6.wav", 0.22, Wave::Sine, 587, 1175, 4, 0, 1, 0.003, 5, 0, 0.45, false},
    {"Corvane/Se/42_tire_f.wav", 0.2, Wave::Sine, 900, 900, 0, 0.7, 0.4, 0, 0, 0, 0.4, true},
    {"Corvane/Se/43_tire_r.wav", 0.2, Wave::Sine, 800, 800, 0, 0.7, 0.35, 0, 0, 0, 0.4, true},
    {"Corvane/Se/44_tire_l.wav", 0.2, Wave::Sine, 1000, 1000, 0, 0.7, 0.45, 0, 0, 0, 0.4, true},
    // Sword action.
    {"Mirelle/Se/64_swing1.wav", 0.15, Wave::None, 0, 0, 0, 1, 0.2, 0.04, 12, 0, 0.6, false},
    {"Mirelle/Se/65_swing2.wav", 0.18, Wave::None, 0, 0, 0, 1, 0.25, 0.05, 10, 0, 0.6, false},
    {"Mirelle/Se/66_swing3.wav", 0.2, Wave::None, 0, 0, 0, 1, 0.3, 0.06, 9, 0, 0.6, false},
    {"Mirelle/Se/67_swing4.wav", 0.22, Wave::Saw, 200, 90, 0, 0.8, 0.3, 0.06, 8, 0, 0.6, false},
    {"Mirelle/Se/68_attack.wav", 0.2, Wave::Saw, 400, 150, 0, 0.5, 0.4, 0.01, 10, 0, 0.6, false},
    {"Mirelle/Se/69_hit1.wav", 0.12, Wave::Sine, 180, 90, 0, 0.6, 0.5, 0.001, 22, 0, 0.8, false},
    {"Mirelle/Se/70_hit2.wav", 0.14, Wave::Sine, 150, 70, 0, 0.6, 0.4, 0.001, 20, 0, 0.8, false},
    {"Mirelle/Se/71_hit3.wav", 0.16, Wave::Sine, 220, 100, 0, 0.5, 0.6, 0.001, 18, 0, 0.8, false},
    {"Mirelle/Se/72_hit4.wav", 0.2, Wave::Sine, 120, 50, 0, 0.7, 0.3, 0.001, 14, 0, 0.85, false},
    {"Mirelle/Se/73_guard.wav", 0.2, Wave::Square, 2200, 2100, 0, 0.2, 1, 0.001, 15, 0, 0.3, false},
    {"Mirelle/Se/74_foot1.wav", 0.07, Wave::Sine, 90, 60, 0, 0.6, 0.2, 0.002, 35, 0, 0.6, false},
    {"Mirelle/Se/75_foot2.wav", 0.07, Wave::Sine, 80, 55, 0, 0.6, 0.25, 0.002, 35, 0, 0.6, false},
    {"Mirelle/Se/76_biribiri.wav", 0.21, Wave::Square, 60, 60, 0, 0.4, 1, 0.005, 4, 50, 0.35, false},
    {"Mirelle/Se/77_lock.wav", 0.1, Wave::Square, 1760, 1760, 0, 0, 1, 0.002, 10, 0, 0.3, false},
    {"Mirelle/Se/78_union.wav", 0.17, Wave::Sine, 440, 1760, 0, 0, 1, 0.01, 4, 0, 0.45, false},
    {"Mirelle/Se/79_separation.wav", 0.17, Wave::Sine, 1760, 440, 0, 0, 1, 0.01, 4, 0, 0.45, false},
    {"Mirelle/Se/80_evil.wav", 0.28, Wave::Saw, 110, 82, 0, 0.2, 0.3, 0.05, 3, 6, 0.5, false},
    {"Mirelle/Se/81_1up.wav", 0.21, Wave::Square, 659, 1319, 4, 0, 1, 0.003, 4, 0, 0.3, false},
    {"Mirelle/Se/82_get.wav", 0.18, Wave::Sine, 1046, 2093, 3, 0, 1, 0.003, 8, 0, 0.45, false},
    // The sample game's own: its clock, its path trigger and its blasts.
    {"Demo/Se/tick.wav", 0.08, Wave::Sine, 1320, 1320, 0, 0, 1, 0.002, 25, 0, 0.4, false},
    {"Demo/Se/chime.wav", 0.4, Wave::Sine, 660, 1320, 3, 0, 1, 0.004, 4, 0, 0.45, false},
    {"Demo/Se/blast.wav", 0.5, Wave::Sine, 60, 35, 0, 0.85, 0.15, 0.002, 4, 0, 0.95, false},
    // The aircraft's engine: a low buzz with a wobble, looped while it runs.
    {"Demo/Se/engine.wav", 0.5, Wave::Saw, 110, 110, 0, 0.35, 0.3, 0, 0, 16, 0.35, true},
};

// A fixed generator, so every run writes the same bytes.
struct Noise {
  uint32_t state;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1 << 24) * 2.0 - 1.0;
  }
};

double Oscillator(Wave wave, double phase) {
  double x = phase - std::floor(phase);
  switch (wave) {
    case Wave::Sine: return std::sin(2.0 * kPi * x);
    case Wave::Square: return x < 0.5 ? 1.0 : -1.0;
    case Wave::Saw: return 2.0 * x - 1.0;
    default: return 0.0;
  }
}

std::vector<int16_t> Render(const Recipe& r, uint32_t seed) {
  int count = int(r.seconds * kRate);
  std::vector<int16_t> out(static_cast<size_t>(count));
  Noise noise{seed};
  double phase = 0.0, filtered = 0.0;
  for (int i = 0; i < count; i++) {
    double t = double(i) / kRate;
    double u = double(i) / count;  // 0..1 through the sound
    double f;
    if (r.steps > 1) f = r.f0 * std::pow(r.f1 / r.f0, std::floor(u * r.steps) / (r.steps - 1));
    else if (r.f0 > 0) f = r.f0 * std::pow(r.f1 / r.f0, u);
    else f = 0;
    phase += f / kRate;
    filtered += r.lowpass * (noise.Next() - filtered);
    double v = (1.0 - r.noise) * Oscillator(r.wave, phase) + r.noise * filtered * 2.0;
    double env = 1.0;
    if (!r.loop) {
      env = r.attack > 0 && t < r.attack ? t / r.attack : std::exp(-r.decay * (t - r.attack));
      // The last 5 ms fade to zero, so the end never clicks.
      double tail = (count - 1 - i) / (0.005 * kRate);
      if (tail < 1.0) env *= tail;
    }
    if (r.tremolo > 0) env *= 0.75 + 0.25 * std::cos(2.0 * kPi * r.tremolo * t);
    double s = v * env * r.gain * 32767.0;
    out[size_t(i)] = int16_t(s > 32767.0 ? 32767 : s < -32767.0 ? -32767 : std::lround(s));
  }
  return out;
}

void Put32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, uint16_t v) {
  b += char(v & 0xFF);
  b += char(v >> 8);
}

std::string Wav(const std::vector<int16_t>& samples) {
  std::string b;
  uint32_t data = uint32_t(samples.size() * 2);
  b += "RIFF";
  Put32(b, 36 + data);
  b += "WAVEfmt ";
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, kRate);
  Put32(b, kRate * 2);
  Put16(b, 2);
  Put16(b, 16);
  b += "data";
  Put32(b, data);
  for (int16_t s : samples) Put16(b, uint16_t(s));
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s GAMES_FOLDER\n", argv[0]);
    return 2;
  }
  std::filesystem::path root = argv[1];
  size_t total = 0;
  uint32_t seed = 12345;
  for (const Recipe& r : kRecipes) {
    std::filesystem::path path = root / r.path;
    std::filesystem::create_directories(path.parent_path());
    std::string bytes = Wav(Render(r, seed));
    seed = seed * 31 + 7;
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
      if (f) std::fclose(f);
      return 1;
    }
    std::fclose(f);
    total += bytes.size();
  }
  std::printf("%zu files, %zu bytes\n", sizeof kRecipes / sizeof kRecipes[0], total);
  return 0;
}
