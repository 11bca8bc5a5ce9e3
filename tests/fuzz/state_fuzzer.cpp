// Fuzz target: the saved-state loader on any file content, decoded as the host
// decodes the state file. The load must leave the settings, badges and score
// tables at their sizes with the pad floors in place, and whatever it loaded
// must save and load back unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/game_fixture.h"

namespace {

// The values the state file carries, flattened.
std::vector<int> savedValues(const c_MyApp& app) {
  std::vector<int> v;
  auto add = [&v](const auto& table) {
    for (int i = 0; i < table.Length(); ++i) v.push_back(table[i]);
  };
  add(app.m_Settings);
  add(app.m_Badges);
  add(app.m_HighScores);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  gametest::FuzzGame& game = gametest::FuzzGame::Get();
  c_MyApp& app = *game.app;
  game.state = String::Load(data, static_cast<int>(size));
  app.p_Load();
  if (app.m_Settings.Length() != 25 || app.m_Badges.Length() != 256 || app.m_HighScores.Length() != 150) std::abort();
  if (app.m_Settings[kSettingPadX] < 64 || app.m_Settings[kSettingPadY] < 64 || app.m_Settings[kSettingPadSize] < 8)
    std::abort();
  const std::vector<int> loaded = savedValues(app);
  app.p_Save();
  app.p_Load();
  if (savedValues(app) != loaded) std::abort();
  game.Tidy();
  return 0;
}
