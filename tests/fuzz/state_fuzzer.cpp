// Fuzz target: the saved-state loader on any file content. The bytes are
// decoded as the host decodes the state file, then p_Load takes them. It must
// never fail, must leave the settings, badges and score tables at their sizes
// with the pad floors in place, and whatever it loaded must save and load
// back unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/game_fixture.h"

namespace {

// The values the state file carries, flattened.
std::vector<int> savedValues(const c_MyApp& app) {
  std::vector<int> v;
  for (int i = 0; i < app.m_Settings.Length(); ++i) v.push_back(app.m_Settings[i]);
  for (int i = 0; i < app.m_Badges.Length(); ++i) v.push_back(app.m_Badges[i]);
  for (int i = 0; i < app.m_HighScores.Length(); ++i) v.push_back(app.m_HighScores[i]);
  return v;
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  gametest::FuzzGame& game = gametest::FuzzGame::Get();
  c_MyApp& app = *game.app;
  game.state = String::Load(data, static_cast<int>(size));
  app.p_Load();

  check(app.m_Settings.Length() == 25);
  check(app.m_Badges.Length() == 256);
  check(app.m_HighScores.Length() == 150);
  check(app.m_Settings[10] >= 64 && app.m_Settings[11] >= 64 && app.m_Settings[12] >= 8);

  std::vector<int> loaded = savedValues(app);
  app.p_Save();
  app.p_Load();
  check(savedValues(app) == loaded);
  game.Tidy();
  return 0;
}
