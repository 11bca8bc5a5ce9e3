// Asset loading: images, fonts and sound effects into numbered slots at the
// resolution the window calls for, sound effects on rotating channels, and the
// read-back of one image frame's pixels.
#include "game/myapp.h"

namespace {

// Number of audio channels the sound effects rotate over.
constexpr int kSfxChannelCount = 24;
// Side of the square that the pixel read-back covers.
constexpr int kGrabSize = 64;

// File name of an image at the resolution factor: "-hd" at 2, "-hd2" at 4.
String imageFile(const String& name, int res) {
  if (res == 4) return name + String("-hd2.png");
  if (res == 2) return name + String("-hd.png");
  return name + String(".png");
}

// Reduces an 8-bit channel to 0..32 with rounding.
int reduceChannel(int v) { return (v + 4) >> 3; }

}  // namespace

// Picks the resolution from the window, loads what the loading screen shows and
// restarts the loader.
int c_MyApp::p_Reload() {
  m_ClsR = 0.0f;
  m_ClsG = 0.0f;
  m_ClsB = 0.0f;
  m_ClsAlpha = 1.0f;
  p_PickResolution();
  p_LoadImg(kImgStudioLogo, String("common/BrevoLogo"), 256, 256, 1, 1);
  p_LoadFont(kImgFont, String("fonts/tessel"), 7, 10);
  m_LoadStep = 1;
  return 0;
}

// Resolution 2 above 630 pixels in either direction, 4 above 1230, else 1.
int c_MyApp::p_PickResolution() {
  const int w = vo_graphics_DeviceWidth();
  const int h = vo_graphics_DeviceHeight();
  m_ImgRes = 1;
  m_ImgScale = 1.0f;
  if (w > 630 || h > 630) {
    m_ImgRes = 2;
    m_ImgScale = 0.5f;
  }
  if (w > 1230 || h > 1230) {
    m_ImgRes = 4;
    m_ImgScale = 0.25f;
  }
  return 0;
}

// Loads a grid of frames into a slot; the frame size is given at resolution 1.
int c_MyApp::p_LoadImg(int slot, String name, int frameW, int frameH, int frameCount, int flags) {
  const int w = frameW * m_ImgRes;
  const int h = frameH * m_ImgRes;
  gc_assign(m_Images[slot], static_cast<c_Image*>(nullptr));
  gc_assign(m_Images[slot], vo_graphics_LoadImage2(imageFile(name, m_ImgRes), w, h, frameCount, flags));
  m_ImgInfo[slot * 3] = w;
  m_ImgInfo[slot * 3 + 1] = h;
  m_ImgInfo[slot * 3 + 2] = frameCount;
  return 0;
}

// Loads a font sheet of 128 centred 16-unit glyph cells; the slot's info holds
// the character advance and line height in design units and it becomes the
// current font.
int c_MyApp::p_LoadFont(int slot, String name, int charW, int charH) {
  const int cell = 16 * m_ImgRes;
  gc_assign(m_Images[slot], static_cast<c_Image*>(nullptr));
  gc_assign(m_Images[slot], vo_graphics_LoadImage2(imageFile(name, m_ImgRes), cell, cell, 128, 1));
  m_ImgInfo[slot * 3] = charW;
  m_ImgInfo[slot * 3 + 1] = charH;
  m_ImgInfo[slot * 3 + 2] = 128;
  m_Font = slot;
  return 0;
}

// Loads sound effect n from "sfx/" plus its three-digit number; numbers
// without a sound slot load nothing.
int c_MyApp::p_LoadSFX(int n) {
  if (n < 0 || n >= m_Sounds.Length()) return 0;
  String file = String(n < 10 ? "sfx/00" : "sfx/0") + String(n) + String(".wav");
  gc_assign(m_Sounds[n], vo_audio_LoadSound(file));
  return 0;
}

// Plays sound n on the next of the rotating effect channels, cutting off the
// oldest; modes without sound effects leave even the rotation untouched.
int c_MyApp::p_PlaySFX(int n, float rate, float volume, float pan) {
  if (!SoundEffectsOn(m_Settings[kSettingSoundMode])) return 0;
  m_SfxChan = (m_SfxChan + 1) % kSfxChannelCount;
  if (m_SfxChan < 0) m_SfxChan = 0;
  const int channel = m_SfxChannels[m_SfxChan];
  vo_audio_StopChannel(channel);
  if (n >= 0 && n < m_Sounds.Length()) vo_audio_PlaySound(m_Sounds[n], channel, 0);
  vo_audio_SetChannelRate(channel, rate);
  vo_audio_SetChannelVolume(channel, volume);
  vo_audio_SetChannelPan(channel, pan);
  return 0;
}

// Draws frame frameNumber - 1 of an image over a near-black square and reads the
// 64 x 64 pixels back as red, green and blue reduced to 0..32. Runs inside a
// render; the screen is cleared again afterwards.
int c_MyApp::p_GrabImageData(int slot, int frameNumber) {
  voDebugLog(String("Loading Image Data ") + String(slot) + String(",") + String(frameNumber));
  vo_graphics_Cls(1.0f, 0.0f, 0.0f);
  vo_graphics_SetAlpha(1.0f);
  vo_graphics_SetColor(1.0f, 0.0f, 0.0f);
  vo_graphics_DrawRect(0.0f, 0.0f, static_cast<float>(kGrabSize), static_cast<float>(kGrabSize));
  vo_graphics_SetColor(255.0f, 255.0f, 255.0f);
  c_Image* img = slot >= 0 && slot < m_Images.Length() ? m_Images[slot] : nullptr;
  // An empty slot reads back the bare square.
  if (img != nullptr) vo_graphics_DrawImage(img, 0.0f, 0.0f, frameNumber - 1);
  Array<int> pixels(kGrabSize * kGrabSize);
  vo_graphics_ReadPixels(pixels, 0, 0, kGrabSize, kGrabSize, 0, 0);
  for (int y = 0; y < kGrabSize; ++y) {
    for (int x = 0; x < kGrabSize; ++x) {
      const int p = pixels[y * kGrabSize + x];
      const int e = (y * kGrabSize + x) * 4;
      m_PixelBuf[e] = reduceChannel((p >> 16) & 255);
      m_PixelBuf[e + 1] = reduceChannel((p >> 8) & 255);
      m_PixelBuf[e + 2] = reduceChannel(p & 255);
    }
  }
  vo_graphics_Cls(1.0f, 0.0f, 0.0f);
  return 0;
}
