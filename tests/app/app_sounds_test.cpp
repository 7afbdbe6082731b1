// app_sounds_test.cpp -- the 63 built-in effects that start-up loads:
// our own files in games/, their log lines in table order, and start-up
// going on when they are missing.

#include <cstdlib>
#include <filesystem>

#include "app/app_local.h"
#include "sound/sound_test_support.h"
#include "app_games_folder.h"

namespace {

using namespace soundtest;

using apptest::GamesFolder;

class BuiltInSounds : public SoundFixture {};

TEST_F(BuiltInSounds, AllLoadInTableOrder) {
  for (const char* game : {"ZadAzorad", "Corvane", "Mirelle"}) {
    ASSERT_TRUE(std::filesystem::is_directory(GamesFolder() / game));
    std::filesystem::create_directory_symlink(GamesFolder() / game, game);
  }
  app::LoadBuiltInSounds(sound);

  std::vector<std::string> loads;
  for (const std::string& line : LogLines())
    if (line.find(test::Sjis("音声ファイル")) == 0) loads.push_back(line);
  ASSERT_EQ(loads.size(), 63u);  // one line each, no failures
  for (size_t i = 0; i < 63; i++) {
    const app::BuiltInSound& s = app::kBuiltInSoundTable[i];
    EXPECT_EQ(loads[i], test::Sjis(std::string("音声ファイル\"") + s.file + "\"を読み込みます。"));
    const sound::SoundSlot& slot = sound.Slot(s.slot);
    EXPECT_EQ(slot.loaded, 1) << s.file;
    EXPECT_EQ(slot.copyCount, s.copies) << s.file;
  }
  // Slot 35 is read before slot 34.
  EXPECT_NE(loads[33].find("35_pi"), std::string::npos);
  EXPECT_NE(loads[34].find("34_scrumble"), std::string::npos);
  // Slots outside the table stay free for the games.
  for (int slot : {0, 45, 63, 83, 253, 254, 255}) EXPECT_EQ(sound.Slot(slot).loaded, 0) << slot;
}

TEST(BuiltInSoundFiles, AreSmallMonoEffectsOfOurOwn) {
  uintmax_t total = 0;
  for (const app::BuiltInSound& s : app::kBuiltInSoundTable) {
    std::string name = s.file;
    for (char& c : name)
      if (c == '\\') c = '/';
    std::filesystem::path path = GamesFolder() / name;
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    std::string bytes = test::ReadFile(path.string());
    total += bytes.size();
    sound::SoundHeader h;
    ASSERT_TRUE(sound::ParseSoundHeader(&h, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()),
                                        uint32_t(bytes.size())));
    EXPECT_EQ(h.format.channels, 1) << name;
    EXPECT_EQ(h.format.sampleRate, 22050) << name;
    EXPECT_GT(h.dataSize, 0u) << name;
  }
  EXPECT_LT(total, 700u * 1024);
}

TEST_F(BuiltInSounds, MissingFilesAreLoggedAndLoadingGoesOn) {
  app::LoadBuiltInSounds(sound);  // an empty working folder
  std::vector<std::string> lines;
  for (const std::string& line : LogLines())
    if (line.find(test::Sjis("音声ファイル")) == 0) lines.push_back(line);
  ASSERT_EQ(lines.size(), 126u);
  for (size_t i = 0; i < 63; i++) {
    std::string file = app::kBuiltInSoundTable[i].file;
    EXPECT_EQ(lines[2 * i], test::Sjis("音声ファイル\"" + file + "\"を読み込みます。"));
    EXPECT_EQ(lines[2 * i + 1], test::Sjis("音声ファイル\"" + file + "\"のオープンに失敗しました。"));
  }
  EXPECT_EQ(sound.Slot(1).loaded, 0);
  EXPECT_EQ(sound.PlaySoundSlot(1, 0, 0, 0, 0), sound::kPlayEmptySlot);
}

}  // namespace
