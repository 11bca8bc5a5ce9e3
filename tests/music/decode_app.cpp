// A small application that the real host runs under Xvfb for the decoding
// test: it starts the tune "known" (a sheet the test wrote into ./data/tunes),
// lets the render pump load it, and then prints what the player decoded:
//   "loading-renders N"   renders that ran loading steps
//   "black B"             1 when the pump left the 64 x 64 scratch square black
//   "last T V"            m_LastPattern[T]
//   "value I V"           every nonzero m_Notes[I]
//   "restart-loadstep N"  m_LoadStep after starting the same tune again
// and ends the program.
#include <string>

#include "framework/app.h"
#include "graphics/graphics.h"
#include "music/sqplayer.h"

namespace {

c_SqPlayer* player = nullptr;

void Log(const std::string& line) { voPrint(String(line.c_str())); }

class c_DecodeApp : public c_App {
 public:
  int p_OnCreate() override {
    vo_app_SetUpdateRate(60);
    gc_assign(player, (new c_SqPlayer())->m_new());
    player->p_Sq_Init(32, 4, 3, 3, 4);
    player->p_Sq_StartTune(String("known"), 1, 100);
    return 0;
  }

  int p_OnRender() override {
    if (player->m_LoadStep > 0) ++loadingRenders;
    player->p_Sq_Alive_R();
    if (player->m_LoadStep > 0) return 0;

    Array<int> pixels(64 * 64);
    vo_graphics_ReadPixels(pixels, 0, 0, 64, 64, 0, 64);
    int black = 1;
    for (int i = 0; i < 64 * 64; ++i) {
      if ((pixels[i] & 0xFFFFFF) != 0) black = 0;
    }
    Log("loading-renders " + std::to_string(loadingRenders));
    Log("black " + std::to_string(black));
    for (int t = 0; t < 8; ++t) Log("last " + std::to_string(t) + " " + std::to_string(player->m_LastPattern[t]));
    for (int i = 0; i < player->m_Notes.Length(); ++i) {
      if (player->m_Notes[i] != 0) Log("value " + std::to_string(i) + " " + std::to_string(player->m_Notes[i]));
    }
    player->p_Sq_StartTune(String("known"), 1, 100);
    Log("restart-loadstep " + std::to_string(player->m_LoadStep));
    vo_app_EndApp();
  }

 private:
  int loadingRenders = 0;
};

void MarkRoots() {
  vo_framework_MarkRoots();
  gc_mark_q(player);
}

}  // namespace

int voInit() {
  vo_framework_Init();
  gc_mark_roots_hook = MarkRoots;
  return 0;
}

int voMain() {
  (new c_DecodeApp())->m_new();
  return 0;
}
