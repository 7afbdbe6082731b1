// app_sounds.cpp -- the built-in sound effects loaded at start-up.

#include "app/app_local.h"

namespace app {

// Fixed slots that scripts, units and the HUD play by number. Slot 35 is
// loaded before slot 34, as it always was.
const BuiltInSound kBuiltInSoundTable[63] = {
    {1, "ZadAzorad\\Se\\01_Enter1.wav", 4},
    {2, "ZadAzorad\\Se\\02_Enter2.wav", 4},
    {3, "ZadAzorad\\Se\\03_Cancel1.wav", 4},
    {4, "ZadAzorad\\Se\\04_Cancel2.wav", 4},
    {5, "ZadAzorad\\Se\\05_Select1.wav", 8},
    {6, "ZadAzorad\\Se\\06_Select2.wav", 8},
    {7, "Corvane\\Se\\07_crash.wav", 8},
    {8, "Corvane\\Se\\08_bomb1.wav", 16},
    {9, "Corvane\\Se\\09_bomb2.wav", 16},
    {10, "Corvane\\Se\\10_hit1.wav", 4},
    {11, "Corvane\\Se\\11_hit2.wav", 4},
    {12, "Corvane\\Se\\12_hit3.wav", 4},
    {13, "Corvane\\Se\\13_hit4.wav", 4},
    {14, "Corvane\\Se\\14_beep1.wav", 1},
    {15, "Corvane\\Se\\15_beep2.wav", 1},
    {16, "Corvane\\Se\\16_beep3.wav", 1},
    {17, "Corvane\\Se\\17_beep4.wav", 1},
    {18, "Corvane\\Se\\18_beep5.wav", 1},
    {19, "Corvane\\Se\\19_machine1.wav", 4},
    {20, "Corvane\\Se\\20_machine2.wav", 4},
    {21, "Corvane\\Se\\21_missile.wav", 16},
    {22, "Corvane\\Se\\22_gun.wav", 16},
    {23, "Corvane\\Se\\23_shotgun.wav", 16},
    {24, "Corvane\\Se\\24_cannon.wav", 16},
    {25, "Corvane\\Se\\25_electron.wav", 16},
    {26, "Corvane\\Se\\26_chain.wav", 4},
    {27, "Corvane\\Se\\27_chaingun.wav", 4},
    {28, "Corvane\\Se\\28_beam.wav", 8},
    {29, "Corvane\\Se\\29_hray.wav", 12},
    {30, "Corvane\\Se\\30_laser.wav", 12},
    {31, "Corvane\\Se\\31_lightning1.wav", 2},
    {32, "Corvane\\Se\\32_lightning2.wav", 2},
    {33, "Corvane\\Se\\33_gogo.wav", 1},
    {35, "Corvane\\Se\\35_pi.wav", 8},
    {34, "Corvane\\Se\\34_scrumble.wav", 1},
    {36, "Corvane\\Se\\36_notice1.wav", 4},
    {37, "Corvane\\Se\\37_notice2.wav", 4},
    {38, "Corvane\\Se\\38_notice3.wav", 4},
    {39, "Corvane\\Se\\39_notice4.wav", 4},
    {40, "Corvane\\Se\\40_notice5.wav", 4},
    {41, "Corvane\\Se\\41_notice6.wav", 4},
    {42, "Corvane\\Se\\42_tire_f.wav", 2},
    {43, "Corvane\\Se\\43_tire_r.wav", 2},
    {44, "Corvane\\Se\\44_tire_l.wav", 2},
    {64, "Mirelle\\Se\\64_swing1.wav", 4},
    {65, "Mirelle\\Se\\65_swing2.wav", 4},
    {66, "Mirelle\\Se\\66_swing3.wav", 4},
    {67, "Mirelle\\Se\\67_swing4.wav", 4},
    {68, "Mirelle\\Se\\68_attack.wav", 4},
    {69, "Mirelle\\Se\\69_hit1.wav", 4},
    {70, "Mirelle\\Se\\70_hit2.wav", 4},
    {71, "Mirelle\\Se\\71_hit3.wav", 4},
    {72, "Mirelle\\Se\\72_hit4.wav", 4},
    {73, "Mirelle\\Se\\73_guard.wav", 4},
    {74, "Mirelle\\Se\\74_foot1.wav", 4},
    {75, "Mirelle\\Se\\75_foot2.wav", 4},
    {76, "Mirelle\\Se\\76_biribiri.wav", 4},
    {77, "Mirelle\\Se\\77_lock.wav", 4},
    {78, "Mirelle\\Se\\78_union.wav", 4},
    {79, "Mirelle\\Se\\79_separation.wav", 4},
    {80, "Mirelle\\Se\\80_evil.wav", 4},
    {81, "Mirelle\\Se\\81_1up.wav", 4},
    {82, "Mirelle\\Se\\82_get.wav", 8},
};

void LoadBuiltInSounds(sound::SoundSystem& sound) {
  // A missing file leaves its slot empty (the sound system logs it) and
  // start-up goes on.
  for (const BuiltInSound& s : kBuiltInSoundTable) sound.LoadSoundEffect(s.slot, s.file, s.copies, 0);
}

}  // namespace app
