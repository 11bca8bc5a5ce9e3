// Whole sessions of the headless game: the loader and its rerun on resize,
// latches, suspension, the saved state's exact text and its checksums, the
// score tables, and the screens' rules that a picture cannot show.
#include "tests/support/game_fixture.h"

namespace {

using gametest::Floats;
using gametest::GameTest;
using Session = GameTest;

const int kEscape = 27, kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kZ = 90, kF10 = 121;
const char* const kLoaded[] = {"Settings Loaded", "Badges Loaded", "Highscore 0 Loaded", "Highscore 1 Loaded",
                               "Highscore 2 Loaded"};

std::string zeros(int n) { return n ? "0|" + zeros(n - 1) : ""; }

// What a load prints: every section loaded, but `message` for section `bad`.
std::string loadReport(int bad = -1, const char* message = "") {
  std::string out;
  for (int k = 0; k < 5; ++k) out += std::string(k == bad ? message : kLoaded[k]) + "\n";
  return out;
}

// From the title menu into a game of the selected mode.
void toGame(GameTest& t) {
  t.toMenu();
  t.key(kZ, true);
  t.update(2);
  t.key(kZ, false);
  t.update();
  ASSERT_EQ(t.app->m_State, kStatePlaying);
}

// The loader takes fifteen updates at the resolution the window calls for (2
// above 630 pixels either way, 4 above 1230) and runs again when the window's
// size changes. The slots keep the sizes of a picture's frames scaled to the
// resolution, also when its file is missing; the font's stay in design units.
TEST_F(Session, LoaderFollowsTheWindowSize) {
  gfx->files.push_back({"parts-hd.png", {64, 64}});
  app->p_OnCreate();
  render();
  EXPECT_EQ(host.UpdateRate(), 60);
  for (int u = 1; u <= 15; ++u) {
    update();
    ASSERT_EQ(app->m_LoadStep, u < 15 ? u + 1 : 0) << u;
  }
  EXPECT_EQ(app->m_SpinAngle, 15 * 16) << "the loading spinner turns 16 degrees an update";
  EXPECT_EQ(app->m_MenuSlide, -32);
  update();
  EXPECT_EQ(app->m_MenuSlide, -31) << "the menu runs from the next update";
  ASSERT_EQ(audio->loaded.size(), 4u);
  EXPECT_EQ(audio->loaded[0].substr(audio->loaded[0].size() - 16), "data/sfx/001.wav");
  EXPECT_EQ(audio->loaded[1].substr(audio->loaded[1].size() - 16), "data/sfx/095.wav");
  EXPECT_EQ(app->m_Images[kImgParts]->m_frames[5]->m_y, 16) << "8-unit parts at resolution 2";
  gfx->files.push_back({"fonts/tessel-hd2.png", {1024, 512}});
  for (auto [w, h, res] : {std::tuple{630, 630, 1}, {631, 200, 2}, {1280, 720, 4}, {100, 1231, 4}}) {
    host.width = w;
    host.height = h;
    render();
    EXPECT_EQ(app->m_LoadStep, 1);
    update(15);
    EXPECT_EQ(std::vector<int>({app->m_ImgInfo[kImgIcons * 3], app->m_ImgInfo[kImgFont * 3]}),
              std::vector<int>({32 * res, 7}))
        << w;
  }
  EXPECT_EQ(app->m_Images[kImgFont]->m_width, 64) << "16-unit glyph cells at resolution 4";
}

// The title menu: latches, F10, the sound and credits buttons, the credits
// box, the score captions, and suspension.
TEST_F(Session, TitleMenu) {
  toMenu();
  app->m_CreditsOpen = 1;
  key(kEscape, true);
  update();
  EXPECT_EQ(app->m_CreditsOpen, 0);
  key(kDown, true);
  update(3);
  EXPECT_EQ(app->m_GameMode, 2) << "nothing moves while the back key is held";
  key(kEscape, false);
  key(kDown, false);
  update();
  key(kUp, true);
  update(5);
  EXPECT_EQ(app->m_GameMode, 1) << "a held key moves the selection once";
  key(kUp, false);
  for (int want : {1, 0}) {
    tap(kF10);
    EXPECT_EQ(vo_Game_DebugMode, want);
  }
  update(40);
  touch(32, 240);  // the sound button at (32, 0.5 H)
  EXPECT_EQ(app->m_Settings[kSettingSoundMode], kSoundOff);
  touch(570, 440);  // the credits button at (W - 70, H - 40)
  EXPECT_EQ(app->m_CreditsOpen, 1);
  update(35);
  EXPECT_EQ(drawn(kImgCreditsLogo, {255, 255, 255}), (std::vector<Floats>{{320, 240, 1, 1}})) << "the box at rest";
  touch(128, 336);  // over mode 1's button: only the box sees it
  EXPECT_EQ(app->m_CreditsOpen, 0);
  EXPECT_EQ(app->m_State, kStateTitle);
  std::string seen;
  for (int i = 0; i < 2 * 38 * 54; ++i) {
    app->p_CLS2D();
    app->p_CreditBox();
    if (i % 10 == 0) seen += drawnText();
  }
  EXPECT_NE(seen.find("-=-=-"), std::string::npos);
  EXPECT_EQ(seen.find("End"), std::string::npos) << "the last line is never shown";
  vo_Game_jscrh = 150;
  update();
  EXPECT_NE(drawnText().find("Highscore"), std::string::npos) << "one row uses the single captions";
  // Suspended, the menu saves and switches iCade off.
  app->p_iCade(1);
  app->p_OnSuspend();
  EXPECT_EQ(fields(saved())[kSettingSoundMode], "0");
  EXPECT_EQ(vo_Game_iCadeControls, 0);
}

// The state file: its exact text with wrapping checksums, and a round trip of
// extreme values. Each tampered section fails alone with its message; saved
// again, it has the checksum of a reset section (the settings': sound mode 1
// and the pad floors, 1469) and the others keep theirs. A first run has no
// file and says nothing; a file of settings alone loads them with the pad's
// floors (64 for its place, 8 for its size).
TEST_F(Session, StateFile) {
  app->m_Settings[kSettingSoundMode] = kSoundEffectsAndMusic;
  app->m_Settings[kSettingPadX] = app->m_Settings[kSettingPadY] = 64;
  app->m_Settings[kSettingPadSize] = 10;
  app->m_Badges[0] = app->m_Badges[33] = true;
  app->m_HighScores[0] = app->m_HighScores[31] = 100;  // mode 1 best place 0, last place 1
  app->m_HighScores[1] = app->m_HighScores[30] = 50;
  app->m_HighScores[10] = app->m_HighScores[40] = 7;  // mode 2 best and last
  app->p_Save();
  EXPECT_EQ(saved(), "0|0|0|0|0|1|0|0|0|0|64|64|10|" + zeros(12) + "1469|" +  // 5·1 + 10·64 + 11·64 + 12·10
                         "1|2|0|0|0|0|0|0|3|100|50|50|100|" + zeros(16) + "1200|7|7|" + zeros(18) + "56|" + zeros(20) +
                         "0|");
  for (int i = 0; i < 25; ++i) app->m_Settings[i] = INT32_MAX - i;
  for (int i = 0; i < 60; ++i) app->m_HighScores[i] = INT32_MIN + i * 7;
  for (int b = 0; b < 256; ++b) app->m_Badges[b] = b % 3 == 0 || b == 31;
  app->p_Save();
  const std::string text = saved();
  c_MyApp* other;
  EXPECT_EQ(loadInto(&other), loadReport());
  other->p_Save();
  EXPECT_EQ(saved(), text);

  const struct {
    int field;
    const char* message;
  } cases[] = {{2, "Settings Checksum Invalid"},
               {27, "Badge Checksum Invalid"},
               {39, "Highscore 0 Checksum Invalid"},
               {60, "Highscore 1 Checksum Invalid"},
               {81, "Highscore 2 Checksum Invalid"}};
  const int checksum[] = {25, 34, 55, 76, 97};  // each section's last field
  const auto good = fields(text);
  for (int s = 0; s < 5; ++s) {
    auto f = good;
    f[cases[s].field] = std::to_string(std::stoi(f[cases[s].field]) + 1);
    std::string tampered;
    for (const std::string& v : f) tampered += v + "|";
    tampered.pop_back();
    ASSERT_EQ(host.SaveState(String(tampered.c_str())), 0);
    EXPECT_EQ(loadInto(&other), loadReport(s, cases[s].message));
    other->p_Save();
    for (int k = 0; k < 5; ++k)
      EXPECT_EQ(fields(saved())[checksum[k]], k != s ? good[checksum[k]] : s ? "0" : "1469") << s << " " << k;
  }

  std::remove(".dovelstate");
  EXPECT_EQ(loadInto(&other), "");
  // The checksum: 5·1 + 10·63 + 11·63 + 12·8.
  ASSERT_EQ(host.SaveState(String(("0|0|0|0|0|1|0|0|0|0|63|63|8|" + zeros(12) + "1424|").c_str())), 0);
  EXPECT_EQ(loadInto(&other), "Settings Loaded\n");
  EXPECT_EQ(std::vector<int>(other->m_Settings.Data() + 10, other->m_Settings.Data() + 13),
            std::vector<int>({64, 64, 8}));
}

TEST_F(Session, FinishedGamesEnterTheTables) {
  // Mode 1's best ten start at 100, 90, ... 10 and its last ten at 1 ... 10; mode 3's are all zero.
  const struct {
    int mode, score;
    const char* nth;
    int place;  // where the score lands in the best ten, or -1
  } cases[] = {{1, 100, "1st!", 0}, {1, 75, "4th", 3}, {1, 10, "10th", 9}, {1, 3, "", -1}, {3, 0, "1st!", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.score);
    for (int i = 0; i < 60; ++i) app->m_HighScores[i] = i < 10 ? 100 - 10 * i : i >= 30 && i < 40 ? i - 29 : 0;
    const int* best = app->m_HighScores.Data() + 10 * (c.mode - 1);
    std::vector<int> want(best, best + 10), last(best + 30, best + 39);
    if (c.place >= 0) {
      want.insert(want.begin() + c.place, c.score);
      want.pop_back();
    }
    last.insert(last.begin(), c.score);
    app->m_GameMode = c.mode;
    app->m_Score = c.score;
    EXPECT_EQ(app->p_MyNth().ToUtf8(), c.nth);
    app->p_LoadMenu();
    EXPECT_EQ(std::vector<int>(best, best + 10), want);
    EXPECT_EQ(std::vector<int>(best + 30, best + 40), last);
  }
}

// A game: the plus and minus buttons, a held control's dot, the pause panel
// that freezes the field, suspension, and quitting to the game-over panel
// that then records the game; a new game starts afresh.
TEST_F(Session, PlayAGame) {
  toGame(*this);
  touch(128, 240);  // minus at (0.2 W, 0.5 H)
  EXPECT_EQ(app->m_SpriteCount, 40);
  app->m_SpriteCount = 0;
  touch(128, 240);
  EXPECT_EQ(app->m_SpriteCount, 0);
  app->m_SpriteCount = 2470;
  touch(512, 240);
  touch(512, 240);
  EXPECT_EQ(app->m_SpriteCount, 2480);
  key(kZ, true);
  update();
  EXPECT_EQ(drawn(DrawKindOval, {255, 255, 0}), (std::vector<Floats>{{448, 424, 32, 32}}))
      << "Z's, below the right cross";
  key(kZ, false);
  auto list = [&] { return Floats(app->m_DrawList.Data(), app->m_DrawList.Data() + 750); };
  const Floats moving = list();
  tap(kEscape);
  update(14);
  EXPECT_EQ(drawn(DrawKindRect, {255, 150, 10}), (std::vector<Floats>{{180, 248 - 52, 280, 104}})) << "slid in";
  const Floats frozen = list();
  update();
  EXPECT_EQ(frozen, list());
  EXPECT_NE(frozen, moving);
  tap(kRight);
  for (int want : {kSoundEffectsOnly, kSoundMusicOnly, kSoundOff, kSoundEffectsAndMusic}) {
    tap(kZ);
    EXPECT_EQ(app->m_Settings[kSettingSoundMode], want) << "the sound button steps through four modes";
  }
  tap(kDown);
  tap(kZ);
  update(12);
  EXPECT_EQ(app->m_Paused, 0) << "resumed once slid out";
  // Suspended and resumed, the game is paused with the panel centred.
  app->p_OnSuspend();
  EXPECT_EQ(host.UpdateRate(), 5);
  app->p_OnResume();
  EXPECT_EQ(host.UpdateRate(), 60);
  update(3);
  EXPECT_EQ(drawn(DrawKindRect, {255, 150, 10}), (std::vector<Floats>{{180, 240 - 52, 280, 104}}));
  tap(kLeft);
  tap(kZ);
  int updates = 2;
  for (; app->m_State == kStatePlaying && updates < 200; ++updates) update();
  EXPECT_EQ(updates, 90);
  EXPECT_NE(drawnText().find("New Highscore\n1st!"), std::string::npos) << drawnText();
  EXPECT_EQ(fields(saved())[56], "0") << "the game is recorded once the panel is done";
  update();
  EXPECT_EQ(app->m_State, kStateTitle);
  EXPECT_EQ(fields(saved())[56], "2480") << "mode 2's best";
  tap(kZ);
  EXPECT_EQ(app->m_Score, 0) << "a new game starts from nothing";
  update(100);
  EXPECT_EQ(app->m_State, kStatePlaying) << "and without the last one's end";
}

}  // namespace
