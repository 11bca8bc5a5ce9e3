// The graphics module: images and frames, the drawing context with its matrix
// stack, and the vo_graphics_* functions over the driver.
//
// The module owns the current matrix. Chains of Translate/Rotate/Scale only
// update it and set m_matDirty; p_Validate hands it to the render device just
// before something is drawn, so matrix arithmetic costs no driver calls.
#include <cmath>

#include "graphics/graphics.h"
#include "host/game.h"

gxtkGraphics* vo_graphics_device = nullptr;
c_GraphicsContext* vo_graphics_context = nullptr;
gxtkGraphics* vo_graphics_renderDevice = nullptr;

namespace {

// Replaces the current matrix and marks it for the next draw.
void storeMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
  c_GraphicsContext* c = vo_graphics_context;
  c->m_ix = ix;
  c->m_iy = iy;
  c->m_jx = jx;
  c->m_jy = jy;
  c->m_tx = tx;
  c->m_ty = ty;
  c->m_tformed = !(ix == 1 && iy == 0 && jx == 0 && jy == 1 && tx == 0 && ty == 0);
  c->m_matDirty = 1;
}

// Draws a frame of img with its top-left corner at (x, y) in the current matrix.
void drawFrame(c_Image* img, float x, float y, int frame) {
  if (img->m_flags & c_Image::WholeSurfaceFrame) {
    vo_graphics_renderDevice->DrawSurface(img->m_surface, x, y);
    return;
  }
  // A frame index outside the image draws nothing instead of reading past
  // the frame array.
  if (frame < 0 || frame >= img->m_frames.Length()) return;
  c_Frame* f = img->m_frames[frame];
  vo_graphics_renderDevice->DrawSurface2(img->m_surface, x, y, f->m_x, f->m_y, img->m_width, img->m_height);
}

// Fills img's frame array with frameCount new frames at (0, 0).
void newFrames(c_Image* img, int frameCount) {
  gc_assign(img->m_frames, Array<c_Frame*>(frameCount));
  for (int i = 0; i < frameCount; ++i) gc_assign(img->m_frames[i], (new c_Frame())->m_new2());
}

}  // namespace

// ---------------------------------------------------------------------------
// c_Frame
// ---------------------------------------------------------------------------

c_Frame* c_Frame::m_new(int x, int y) {
  m_x = x;
  m_y = y;
  return this;
}

c_Frame* c_Frame::m_new2() { return this; }

void c_Frame::mark() {}

// ---------------------------------------------------------------------------
// c_Image
// ---------------------------------------------------------------------------

c_Image* c_Image::m_new() { return this; }

c_Image* c_Image::p_Init(gxtkSurface* s, int frameCount, int flags) {
  // The frame width divides by the count; fewer than one frame means one.
  if (frameCount < 1) frameCount = 1;
  gc_assign(m_surface, s);
  m_width = s->Width() / frameCount;
  m_height = s->Height();
  newFrames(this, frameCount);
  for (int i = 0; i < frameCount; ++i) m_frames[i]->m_x = i * m_width;
  p_ApplyFlags(flags);
  return this;
}

c_Image* c_Image::p_GrabImage(int x, int y, int w, int h, int frameCount, int flags) {
  if (m_frames.Length() != 1) return nullptr;
  return (new c_Image())->m_new()->p_Grab(x, y, w, h, frameCount, flags, this);
}

c_Image* c_Image::p_Grab(int x, int y, int w, int h, int frameCount, int flags, c_Image* source) {
  if (frameCount < 0) frameCount = 0;
  gc_assign(m_source, source);
  gc_assign(m_surface, source->m_surface);
  m_width = w;
  m_height = h;
  newFrames(this, frameCount);
  // Walk a grid over the source, left to right, then row by row.
  c_Frame* origin = source->m_frames[0];
  int fx = x;
  int fy = y;
  for (int i = 0; i < frameCount; ++i) {
    if (fx + w > source->m_width) {
      fx = 0;
      fy += h;
      if (w > source->m_width) voError(String("Image frame outside surface"));
    }
    if (fy + h > source->m_height) voError(String("Image frame outside surface"));
    m_frames[i]->m_new(origin->m_x + fx, origin->m_y + fy);
    fx += w;
  }
  p_ApplyFlags(flags);
  return this;
}

int c_Image::p_SetHandle(float tx, float ty) {
  m_tx = tx;
  m_ty = ty;
  m_flags &= ~CenterHandle;
  return 0;
}

int c_Image::p_ApplyFlags(int flags) {
  // WholeSurfaceFrame describes the frames, so only the image may set it.
  m_flags = flags & ~WholeSurfaceFrame;
  const int n = m_frames.Length();
  if (m_flags & PadFramesX) {
    for (int i = 0; i < n; ++i) m_frames[i]->m_x += 1;
    m_width -= 2;
  }
  if (m_flags & PadFramesY) {
    for (int i = 0; i < n; ++i) m_frames[i]->m_y += 1;
    m_height -= 2;
  }
  if (m_flags & CenterHandle) p_SetHandle(0.5f * m_width, 0.5f * m_height);
  if (n == 1 && m_frames[0]->m_x == 0 && m_frames[0]->m_y == 0 && m_width == m_surface->Width() &&
      m_height == m_surface->Height())
    m_flags |= WholeSurfaceFrame;
  return 0;
}

void c_Image::mark() {
  gc_mark_q(m_surface);
  gc_mark_q(m_frames);
  gc_mark_q(m_source);
}

// ---------------------------------------------------------------------------
// c_GraphicsContext
// ---------------------------------------------------------------------------

c_GraphicsContext* c_GraphicsContext::m_new() {
  gc_assign(m_matrixStack, Array<float>(kMatrixStackFloats));
  return this;
}

int c_GraphicsContext::p_Validate() {
  if (m_matDirty) {
    vo_graphics_renderDevice->SetMatrix(m_ix, m_iy, m_jx, m_jy, m_tx, m_ty);
    m_matDirty = 0;
  }
  return 0;
}

void c_GraphicsContext::mark() {
  gc_mark_q(m_defaultFont);
  gc_mark_q(m_font);
  gc_mark_q(m_matrixStack);
}

// ---------------------------------------------------------------------------
// Set-up and frame
// ---------------------------------------------------------------------------

int vo_graphics_SetGraphicsDevice(gxtkGraphics* dev) {
  gc_assign(vo_graphics_device, dev);
  return 0;
}

int vo_graphics_BeginRender() {
  gc_assign(vo_graphics_renderDevice, vo_graphics_device);
  vo_graphics_context->m_matrixSp = 0;
  storeMatrix(1, 0, 0, 1, 0, 0);
  vo_graphics_SetColor(255, 255, 255);
  vo_graphics_SetAlpha(1);
  vo_graphics_SetBlend(0);
  vo_graphics_SetScissor(0, 0, static_cast<float>(vo_graphics_DeviceWidth()),
                         static_cast<float>(vo_graphics_DeviceHeight()));
  return 0;
}

int vo_graphics_EndRender() {
  vo_graphics_renderDevice = nullptr;
  return 0;
}

int vo_graphics_DeviceWidth() { return vo_graphics_device->Width(); }
int vo_graphics_DeviceHeight() { return vo_graphics_device->Height(); }

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------

int vo_graphics_SetColor(float r, float g, float b) {
  c_GraphicsContext* c = vo_graphics_context;
  c->m_color_r = r;
  c->m_color_g = g;
  c->m_color_b = b;
  vo_graphics_renderDevice->SetColor(r, g, b);
  return 0;
}

int vo_graphics_SetAlpha(float a) {
  vo_graphics_context->m_alpha = a;
  vo_graphics_renderDevice->SetAlpha(a);
  return 0;
}

int vo_graphics_SetBlend(int blend) {
  vo_graphics_context->m_blend = blend;
  vo_graphics_renderDevice->SetBlend(blend);
  return 0;
}

int vo_graphics_SetScissor(float x, float y, float w, float h) {
  c_GraphicsContext* c = vo_graphics_context;
  c->m_scissor_x = x;
  c->m_scissor_y = y;
  c->m_scissor_width = w;
  c->m_scissor_height = h;
  vo_graphics_renderDevice->SetScissor(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                                       static_cast<int>(h));
  return 0;
}

int vo_graphics_SetMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
  storeMatrix(ix, iy, jx, jy, tx, ty);
  return 0;
}

int vo_graphics_SetMatrix2(Array<float> m) { return vo_graphics_SetMatrix(m[0], m[1], m[2], m[3], m[4], m[5]); }

int vo_graphics_Transform(float ix, float iy, float jx, float jy, float tx, float ty) {
  const c_GraphicsContext* c = vo_graphics_context;
  const float ix2 = c->m_ix * ix + c->m_jx * iy;
  const float iy2 = c->m_iy * ix + c->m_jy * iy;
  const float jx2 = c->m_ix * jx + c->m_jx * jy;
  const float jy2 = c->m_iy * jx + c->m_jy * jy;
  const float tx2 = c->m_ix * tx + c->m_jx * ty + c->m_tx;
  const float ty2 = c->m_iy * tx + c->m_jy * ty + c->m_ty;
  storeMatrix(ix2, iy2, jx2, jy2, tx2, ty2);
  return 0;
}

int vo_graphics_Transform2(Array<float> m) { return vo_graphics_Transform(m[0], m[1], m[2], m[3], m[4], m[5]); }

int vo_graphics_Translate(float x, float y) { return vo_graphics_Transform(1, 0, 0, 1, x, y); }

int vo_graphics_Scale(float x, float y) { return vo_graphics_Transform(x, 0, 0, y, 0, 0); }

int vo_graphics_Rotate(float degrees) {
  const float a = degrees * 0.0174532924f;
  const float s = static_cast<float>(std::sin(static_cast<double>(a)));
  const float c = static_cast<float>(std::cos(static_cast<double>(a)));
  return vo_graphics_Transform(c, -s, s, c, 0, 0);
}

// Pushing past the 32 slots or popping an empty stack would read or write
// outside the stack array; both end the program with a message instead.
int vo_graphics_PushMatrix() {
  c_GraphicsContext* c = vo_graphics_context;
  if (c->m_matrixSp + 6 > c->m_matrixStack.Length()) voError(String("Matrix stack overflow"));
  float* p = &c->m_matrixStack[c->m_matrixSp];
  p[0] = c->m_ix;
  p[1] = c->m_iy;
  p[2] = c->m_jx;
  p[3] = c->m_jy;
  p[4] = c->m_tx;
  p[5] = c->m_ty;
  c->m_matrixSp += 6;
  return 0;
}

int vo_graphics_PopMatrix() {
  c_GraphicsContext* c = vo_graphics_context;
  if (c->m_matrixSp < 6) voError(String("Matrix stack underflow"));
  c->m_matrixSp -= 6;
  const float* p = &c->m_matrixStack[c->m_matrixSp];
  storeMatrix(p[0], p[1], p[2], p[3], p[4], p[5]);
  return 0;
}

int vo_graphics_SetFont(c_Image* font, int firstChar) {
  c_GraphicsContext* c = vo_graphics_context;
  if (!font) {
    if (!c->m_defaultFont)
      gc_assign(c->m_defaultFont, vo_graphics_LoadImage(String("lumo_font.png"), 96, c_Image::PadFramesX));
    font = c->m_defaultFont;
    firstChar = 32;
  }
  gc_assign(c->m_font, font);
  c->m_firstChar = firstChar;
  return 0;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

int vo_graphics_Cls(float r, float g, float b) {
  vo_graphics_renderDevice->Cls(r, g, b);
  return 0;
}

int vo_graphics_DrawRect(float x, float y, float w, float h) {
  vo_graphics_context->p_Validate();
  vo_graphics_renderDevice->DrawRect(x, y, w, h);
  return 0;
}

int vo_graphics_DrawLine(float x1, float y1, float x2, float y2) {
  vo_graphics_context->p_Validate();
  vo_graphics_renderDevice->DrawLine(x1, y1, x2, y2);
  return 0;
}

int vo_graphics_DrawEllipse(float x, float y, float xr, float yr) {
  vo_graphics_context->p_Validate();
  vo_graphics_renderDevice->DrawOval(x - xr, y - yr, xr * 2, yr * 2);
  return 0;
}

int vo_graphics_DrawImage(c_Image* img, float x, float y, int frame) {
  vo_graphics_context->p_Validate();
  drawFrame(img, x - img->m_tx, y - img->m_ty, frame);
  return 0;
}

int vo_graphics_DrawImage2(c_Image* img, float x, float y, float rotation, float scaleX, float scaleY, int frame) {
  vo_graphics_PushMatrix();
  vo_graphics_Transform(1, 0, 0, 1, x, y);
  vo_graphics_Rotate(rotation);
  vo_graphics_Transform(scaleX, 0, 0, scaleY, 0, 0);
  vo_graphics_Transform(1, 0, 0, 1, -img->m_tx, -img->m_ty);
  vo_graphics_context->p_Validate();
  drawFrame(img, 0, 0, frame);
  vo_graphics_PopMatrix();
  return 0;
}

int vo_graphics_ReadPixels(Array<int> pixels, int x, int y, int w, int h, int offset, int pitch) {
  vo_graphics_renderDevice->ReadPixels(pixels, x, y, w, h, offset, pitch == 0 ? w : pitch);
  return 0;
}

// ---------------------------------------------------------------------------
// Images
// ---------------------------------------------------------------------------

c_Image* vo_graphics_LoadImage(String path, int frameCount, int flags) {
  gxtkSurface* s = vo_graphics_device->LoadSurface(vo_data_FixDataPath(path));
  if (!s) return nullptr;
  return (new c_Image())->m_new()->p_Init(s, frameCount, flags);
}

c_Image* vo_graphics_LoadImage2(String path, int frameWidth, int frameHeight, int frameCount, int flags) {
  c_Image* whole = vo_graphics_LoadImage(path, 1, 0);
  if (!whole) return nullptr;
  return whole->p_GrabImage(0, 0, frameWidth, frameHeight, frameCount, flags);
}
