// The game object: one application class that holds every piece of game state
// and records each frame into a display list that the render step replays.
#pragma once

#include <string>

#include "audio/audio.h"
#include "framework/app.h"
#include "game/pad_tester.h"
#include "graphics/graphics.h"
#include "runtime/dovel.h"

class c_SqPlayer;

// Kind codes of display-list entries; image entries use the image slot (0..99).
constexpr float DrawKindRect = -3717.0f;
constexpr float DrawKindOval = -3716.0f;
constexpr float DrawKindLine = -3715.0f;
// Kinds above this value are image slots; a kind at or below it that is not a
// shape code draws nothing.
constexpr float kDrawKindNoImage = -1.0f;
// Default of trailing drawing arguments: a value at or below it counts as omitted.
constexpr float DrawArgOmitted = -3717.0f;

// Floats per display-list entry, the list's size, and the highest write index at
// which an append still fits (the last 15 floats of the array stay unused).
constexpr int DrawEntrySize = 15;
constexpr int DrawListSize = 37500;
constexpr int DrawListLastAppend = 37484;

// Image slots (m_Images) of the game's pictures and font.
constexpr int kImgBadges = 80;
constexpr int kImgFont = 90;
constexpr int kImgCreditsLogo = 91;
constexpr int kImgICade = 92;
constexpr int kImgStudioLogo = 93;  // the loading screen's logo and the credits button
constexpr int kImgDpad = 94;
constexpr int kImgButtons = 95;
constexpr int kImgParts = 96;
constexpr int kImgIcons = 97;
constexpr int kImgLogo = 98;
constexpr int kImgMenu = 99;

// Screen states (m_State): what the update runs.
constexpr int kStateTitle = 1;       // title menu, with its boxes and the game-over panel over it
constexpr int kStateRecordGame = 2;  // enter the finished game in the score lists, then the title
constexpr int kStatePlaying = 10;    // playing, with the pause menu over it
constexpr int kStateStartGame = 11;  // start a new game
// States from kStatePlaying up belong to a running or starting game.

// Setting slots (m_Settings) the game reads; the other slots are only stored.
constexpr int kSettingSoundMode = 5;
constexpr int kSettingPadX = 10;     // on-screen pad centre's distance from the left edge
constexpr int kSettingPadY = 11;     // on-screen pad centre's distance from the bottom edge
constexpr int kSettingPadSize = 12;  // on-screen pad size in tenths: 10 is scale 1.0

// Sound modes (m_Settings[kSettingSoundMode]).
constexpr int kSoundOff = 0;
constexpr int kSoundEffectsAndMusic = 1;
constexpr int kSoundEffectsOnly = 2;
constexpr int kSoundMusicOnly = 3;

// Sound effects play in the modes with effects, the music in the modes with music.
inline bool SoundEffectsOn(int mode) { return mode == kSoundEffectsAndMusic || mode == kSoundEffectsOnly; }
inline bool MusicOn(int mode) { return mode == kSoundEffectsAndMusic || mode == kSoundMusicOnly; }

// Game control numbers with a role of their own (p_PlayKey); 12 to 15 are
// further buttons.
constexpr int kControlUp = 0;
constexpr int kControlLeft = 3;
constexpr int kControlRight = 5;
constexpr int kControlDown = 8;
constexpr int kControlAction = 10;
constexpr int kControlAction2 = 11;
constexpr int kControlLastButton = 15;
constexpr int kControlBack = 99;

// Module globals of the game. They are defined in myapp.cpp; voInit gives them
// their start values before the application object exists.
extern int vo_Game_DebugMode;
extern int vo_Game_HasMusic;
extern int vo_Game_OnScreenControls;
extern int vo_Game_iCadeControls;
extern int vo_Game_AccelerometerControls;
extern float vo_Game_rawscrw;
extern float vo_Game_rawscrh;
extern float vo_Game_jscrw;
extern float vo_Game_jscrh;
extern Array<String> vo_Game_CreditText;

class c_MyApp : public c_App {
 public:
  // Fields in declaration order; the constructor gives the start values.
  int m_State = 0;
  int m_DevWidth = 0;
  int m_DevHeight = 0;
  c_SqPlayer* m_Player = nullptr;
  float m_TiltZeroX = 0.0f;
  float m_TiltZeroY = 0.0f;
  float m_ClsR = 0.0f;
  float m_ClsG = 0.0f;
  float m_ClsB = 0.0f;
  float m_ClsAlpha = 0.0f;
  int m_ImgRes = 0;
  float m_ImgScale = 0.0f;
  Array<c_Image*> m_Images;
  Array<int> m_ImgInfo;
  int m_Font = 0;
  int m_LoadStep = 0;
  int m_GameMode = 0;
  int m_MenuSlide = 0;
  int m_SpriteCount = 0;
  int m_Paused = 0;
  int m_PauseMove = 0;
  int m_PauseY = 0;
  int m_Loop = 0;
  Array<int> m_BadgeShowId;
  Array<int> m_BadgeShowTime;
  Array<bool> m_Badges;
  Array<int> m_PadState;
  Array<int> m_Settings;
  Array<int> m_HighScores;
  int m_Scratch = 0;
  Array<int> m_SfxChannels;
  int m_GrabFrame = 0;
  int m_GrabImage = 0;
  int m_ScaleMode = 0;
  Array<int> m_PixelBuf;
  int m_LastRenderMs = 0;
  int m_Fps = 0;
  int m_FpsAvg = 0;
  float m_ScaleX = 0.0f;
  float m_ScaleY = 0.0f;
  int m_Landscape = 0;
  int m_DrawCount = 0;
  Array<float> m_DrawList;
  int m_LastChar = 0;
  int m_LastUpdateMs = 0;
  int m_Ups = 0;
  int m_UpsAvg = 0;
  int m_MouseX = 0;
  int m_MouseY = 0;
  int m_MousePrevX = 0;
  int m_MousePrevY = 0;
  int m_MouseWasDown = 0;
  int m_MouseHit = 0;
  int m_Touching = 0;
  Array<int> m_TouchDown;
  Array<int> m_TouchX;
  Array<int> m_TouchY;
  int m_TouchLatch = 0;
  int m_KeyLatch = 0;
  int m_CreditsOpen = 0;
  int m_BadgesOpen = 0;
  float m_DrawScaleX = 0.0f;
  float m_DrawScaleY = 0.0f;
  float m_DrawRot = 0.0f;
  float m_DrawR = 0.0f;
  float m_DrawG = 0.0f;
  float m_DrawB = 0.0f;
  float m_DrawAlpha = 0.0f;
  int m_DrawBlend = 0;
  int m_ButtonHit = 0;
  int m_SfxChan = 0;
  Array<c_Sound*> m_Sounds;
  float m_BadgesScroll = 0.0f;
  float m_BadgesScrollTo = 0.0f;
  int m_SpinRadius = 0;
  int m_Score = 0;
  int m_SpinAngle = 0;
  int m_GameOverNow = 0;
  int m_CreditsSlide = 0;
  int m_PinchOn = 0;
  int m_PinchNow = 0;
  int m_PinchLast = 0;
  int m_PadX = 0;
  int m_PadY = 0;
  float m_PadScale = 0.0f;
  float m_TiltX = 0.0f;
  float m_TiltY = 0.0f;
  float m_TiltSmoothX = 0.0f;
  float m_TiltSmoothY = 0.0f;
  // Working values of the screens.
  float m_TmpX = 0.0f;
  float m_TmpY = 0.0f;
  int m_TmpFrame = 0;
  int m_Loop2 = 0;
  int m_PanelW = 0;
  int m_LineH = 0;
  int m_Rows = 0;
  int m_PlaySeed = 0;
  int m_ShownScore = 0;
  int m_PauseSel = 0;
  int m_GameOverTime = 0;
  float m_CreditScroll = 0.0f;
  int m_CreditLine = 0;

  c_MyApp();
  c_MyApp* m_new();
  void mark() override;

  // Life cycle (game flow).
  int p_OnCreate() override;
  int p_OnUpdate() override;
  int p_OnSuspend() override;
  int p_OnResume() override;
  int p_OnRender() override;
  int p_Loader();
  int p_WaitStart(int mode);
  int p_LoadMenu();

  // Display list and drawing primitives.
  int p_ResetDraw();
  int p_CLS2D(float r = DrawArgOmitted, float g = DrawArgOmitted, float b = DrawArgOmitted, float a = DrawArgOmitted);
  int p_SetSize(float sx, float sy = DrawArgOmitted);
  int p_SetRot(float angle);
  int p_SetCol(float r, float g, float b, float a = DrawArgOmitted);
  int p_Alpha(float a);
  int p_DrawImg(int image, float x, float y, float frame);
  int p_Rect(float x, float y, float w, float h);
  int p_Oval(float x, float y, float rx, float ry);
  int p_Line(float x1, float y1, float x2, float y2);
  int p_Text(float x, float y, String text, float alignX, float alignY);
  String p_rstr(int value, int width, String pad);

  // Unified controls. The screens pass no joystick unit and get unit 0.
  bool p_PlayKey(int control, int joy = 0);
  float p_StickX(int stick, int joy);
  float p_StickY(int stick, int joy);
  float p_Trigger(int index, int joy);
  int p_Button(int image, float x, float y, int frame);
  bool p_Button0(int image, float x, float y, int frame);
  int p_iCade(int mode);
  // Per-update control steps: p_SampleTouch before the screen runs;
  // p_UpdateControls after it (iCade translation, pad decay, on-screen pad, tilt).
  // The control that joystick button `button` of unit 0 holds, and the one
  // that pushing stick 0 (up or right when `positive`) holds; -1 for none.
  static int p_ControlOfJoyButton(int button);
  static int p_ControlOfStick(bool vertical, bool positive);
  int p_SampleTouch();
  int p_UpdateControls();
  int p_ReadICade();
  int p_DecayPad();
  int p_OnScreenPad();
  int p_TiltIndicator();

  // Persistence, scores and badges.
  int p_Save();
  int p_Load();
  String p_MyNth();
  int p_LoadGame();
  String p_BadgeID(int n);
  String p_BadgeName(int n);
  String p_BadgeDetail(int n);
  int p_ShowBadges();
  int p_BadgesBox();
  int p_GC_PostScore(int score, int board);
  int p_GC_Badges();

  // Asset loading.
  int p_Reload();
  // Sets m_ImgRes and m_ImgScale from the graphics device's size.
  int p_PickResolution();
  int p_LoadImg(int slot, String name, int frameW, int frameH, int frameCount, int flags);
  int p_LoadFont(int slot, String name, int charW, int charH);
  int p_LoadSFX(int n);
  int p_PlaySFX(int n, float rate, float volume, float pan);
  int p_GrabImageData(int slot, int frameNumber);

  // Screens and menus.
  int p_Menu();
  int p_Game();
  int p_InGame();
  int p_PauseMenu();
  int p_GameOver();
  int p_CreditBox();

  // The controller panel (F9) over whatever screen is showing, and the notice
  // of a joystick coming or going. The input half runs before the game reads
  // its input: it reads the devices, measures the sticks and runs the mapping
  // wizard, and withholds what the panel takes from the game. The drawing
  // half runs last. Neither touches game state or anything that is saved.
  int p_ControllerInput();
  int p_ControllerPanel();
  struct ControllerWatch {
    bool open = false;
    bool connected[4] = {};
    int noticeMs = 0;
    std::string notice;
    VoJoystickInfo infos[4];
    padtest::PortTester testers[4];
    padtest::MappingWizard wizard;
  };
  ControllerWatch m_Controllers;
};
