// Fuzz target: the music player's tune-sheet decoding on any pixel data. The
// input's bytes come back as the blue channel of every frame the decoder reads
// from the screen; the whole sheet is decoded and then played for eight bars.
// Every pattern, row and last-pattern index must stay within the sheet's 64
// patterns and 64 rows, whatever the cells say.
#include <cstdint>
#include <cstdlib>

#include "music/sqplayer.h"
#include "tests/support/game_fixture.h"

namespace {

constexpr int kPatterns = 64;  // also the rows in a pattern

void checkIndex(int index) {
  if (index < 0 || index >= kPatterns) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  gametest::FuzzGame& game = gametest::FuzzGame::Get();
  if (game.gfx->files.empty()) game.gfx->files.push_back({"tunes/fuzz.png", {512, 512}});
  game.gfx->input = data;
  game.gfx->size = size;
  game.gfx->offset = 0;

  c_SqPlayer* player = game.app->m_Player;
  player->p_Sq_Init(32, 4, 3, 3, 4);
  player->m_TunePath = String();  // decode again even though the name repeats
  const int tempo = 40 + data[0];
  player->p_Sq_StartTune(String("fuzz"), static_cast<int>(size) * 7919, tempo);
  while (player->m_LoadStep > 0) {
    game.gfx->BeginRender();
    vo_graphics_BeginRender();
    player->p_Sq_LoadChunk();
    vo_graphics_EndRender();
  }
  for (int v = 0; v < 8; ++v) checkIndex(player->m_LastPattern[v]);
  for (int step = 0; step < 8 * kPatterns; ++step) {
    game.Advance(8.0 / tempo + 0.001);
    player->p_Sq_MusicPlay();
    checkIndex(player->m_Row);
    for (int v = 0; v < player->m_Voices; ++v) checkIndex(player->m_Pattern[v]);
  }
  game.Tidy();
  return 0;
}
