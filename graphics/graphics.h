// The drawing layer: the batching OpenGL driver (gxtkGraphics, gxtkSurface)
// and the graphics module above it (c_Image, c_Frame, c_GraphicsContext and
// the vo_graphics_* functions). Only graphics/ calls OpenGL; this header
// exposes no GL types so callers compile without GL headers.
#pragma once
#include <cstdint>

#include "runtime/dovel.h"

// ---------------------------------------------------------------------------
// Driver
// ---------------------------------------------------------------------------

// One image held in memory (premultiplied) and, lazily, as a texture of the
// current OpenGL context.
class gxtkSurface : public Object {
 public:
  unsigned char* data = nullptr;  // rows top to bottom, depth bytes a pixel
  int width = 0;
  int height = 0;
  int depth = 0;
  unsigned int format = 0;  // GL pixel format chosen by depth
  int seq = -1;             // graphics sequence of texture, -1 none
  unsigned int texture = 0;
  float uscale = 1.0f;  // 1 / texture width in texels
  float vscale = 1.0f;  // 1 / texture height in texels

  // Every collected class has a user-provided constructor: `new T()` of a
  // class without one would zero the collector's header set by the allocator.
  gxtkSurface() {}
  ~gxtkSurface() override;
  virtual int Discard();
  virtual int Width();
  virtual int Height();
  virtual bool Loaded();
  virtual bool OnUnsafeLoadComplete();

  // Takes ownership of a malloc'ed pixel block and premultiplies it.
  void SetData(unsigned char* pixels, int w, int h, int depth);
  // Writes 0xAARRGGBB pixels into an RGBA surface and its texture.
  void SetSubData(int x, int y, int w, int h, unsigned int* src, int pitch);
  // Makes the surface's texture current, creating it in a new context.
  void Bind();

  // Test seam: decides whether OpenGL refused the texture just defined.
  // The default asks glGetError; tests install one that refuses sizes that
  // are not powers of two, as some old drivers do.
  static bool (*textureRefused)(int w, int h);
};

// One vertex of the batch: position, texture coordinates, packed colour.
struct gxtkVertex {
  float x, y, u, v;
  uint32_t color;
};

// Counts of what reached OpenGL, for tests and benchmarks.
struct gxtkCounters {
  long long drawCalls = 0;  // glDrawArrays / glDrawElements calls
  long long flushes = 0;    // non-empty batches sent
};

class gxtkGraphics : public Object {
 public:
  static constexpr int kMaxVertices = 1024;
  static constexpr int kMaxQuads = kMaxVertices / 4;
  // Primitive kinds of a batch (primType), each the vertex count of one
  // primitive; any larger kind is a polygon of that many vertices.
  static constexpr int kPrimPoints = 1;
  static constexpr int kPrimLines = 2;
  static constexpr int kPrimTriangles = 3;
  static constexpr int kPrimQuads = 4;

  int width = 0;
  int height = 0;
  uint32_t color = 0;  // A<<24 | B<<16 | G<<8 | R, premultiplied
  float r = 0, g = 0, b = 0;
  float alpha = 0;
  float ix = 1, iy = 0, jx = 0, jy = 1, tx = 0, ty = 0;
  bool tformed = false;
  gxtkVertex vertices[kMaxVertices];
  uint16_t quadIndices[kMaxQuads * 6];
  int primType = 0;
  int primCount = 0;
  gxtkSurface* primSurf = nullptr;
  // The triangles of the fans of a polygon batch, for its one draw call: a
  // fan of n vertices is n - 2 triangles, so a batch has fewer than
  // 3 * kMaxVertices indices.
  uint16_t fanIndices[kMaxVertices * 3];

  gxtkCounters counters;
  // When set (the default), SetBlend and SetScissor skip the flush and the
  // GL call if OpenGL already has that state. Benchmarks clear it to
  // measure what the rule saves; the pixels are the same either way.
  bool skipUnchangedState = true;
  // Benchmark seam: when set, sees every non-empty batch just before it
  // goes to OpenGL, with the blend mode in force (0 alpha, 1 additive), so
  // a benchmark can record a frame's exact vertices. Null in the program.
  static void (*flushObserver)(const gxtkGraphics& batch, int blend);

  gxtkGraphics();

  virtual int Width();
  virtual int Height();
  virtual int BeginRender();
  virtual int EndRender();
  virtual int DiscardGraphics();
  virtual gxtkSurface* LoadSurface(String path);
  virtual gxtkSurface* LoadSurface__UNSAFE__(gxtkSurface* s, String path);
  virtual gxtkSurface* CreateSurface(int w, int h);
  virtual int Cls(float r, float g, float b);
  virtual int SetAlpha(float a);
  virtual int SetColor(float r, float g, float b);
  virtual int SetBlend(int blend);
  virtual int SetScissor(int x, int y, int w, int h);
  virtual int SetMatrix(float ix, float iy, float jx, float jy, float tx, float ty);
  virtual int DrawPoint(float x, float y);
  virtual int DrawRect(float x, float y, float w, float h);
  virtual int DrawLine(float x1, float y1, float x2, float y2);
  virtual int DrawOval(float x, float y, float w, float h);
  virtual int DrawPoly(Array<float> xy);
  virtual int DrawPoly2(Array<float> xyuv, gxtkSurface* s, int srcx, int srcy);
  virtual int DrawSurface(gxtkSurface* s, float x, float y);
  virtual int DrawSurface2(gxtkSurface* s, float x, float y, int srcx, int srcy, int srcw, int srch);
  virtual int ReadPixels(Array<int> pixels, int x, int y, int w, int h, int offset, int pitch);
  virtual int WritePixels2(gxtkSurface* s, Array<int> pixels, int x, int y, int w, int h, int offset, int pitch);

  // Sends the pending batch to OpenGL (nothing when it is empty).
  void Flush();

 private:
  // Reserves count vertices of primitive kind type with texture surf and
  // returns the first; flushes first when the batch cannot take them.
  gxtkVertex* Begin(int type, int count, gxtkSurface* surf);
  // Writes one vertex, transformed by the matrix when tformed.
  void PutVertex(gxtkVertex* v, float x, float y, float u, float w);
  // Appends a quad with corners (x0,y0) to (x1,y1) and the given texture span.
  void AppendQuad(gxtkSurface* s, float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1);

  // What OpenGL currently has, so unchanged SetBlend/SetScissor calls can be
  // skipped. Invalidated at BeginRender (the context may be a new one).
  int glBlend = -1;  // -1 unknown
  bool glScissorKnown = false;
  bool glScissorOn = false;
  int glScissorBox[4] = {0, 0, 0, 0};
};

// ---------------------------------------------------------------------------
// Graphics module
// ---------------------------------------------------------------------------

class c_Frame : public Object {
 public:
  int m_x = 0;
  int m_y = 0;
  c_Frame() {}
  c_Frame* m_new(int x, int y);
  c_Frame* m_new2();
  void mark() override;
};

class c_Image : public Object {
 public:
  // Image flags.
  static constexpr int CenterHandle = 1;
  static constexpr int PadFramesX = 2;
  static constexpr int PadFramesY = 4;
  static constexpr int WholeSurfaceFrame = 65536;

  gxtkSurface* m_surface = nullptr;
  int m_width = 0;
  int m_height = 0;
  Array<c_Frame*> m_frames;
  int m_flags = 0;
  float m_tx = 0;
  float m_ty = 0;
  c_Image* m_source = nullptr;

  c_Image() {}
  c_Image* m_new();
  c_Image* p_Init(gxtkSurface* s, int frameCount, int flags);
  c_Image* p_GrabImage(int x, int y, int w, int h, int frameCount, int flags);
  c_Image* p_Grab(int x, int y, int w, int h, int frameCount, int flags, c_Image* source);
  int p_SetHandle(float tx, float ty);
  int p_ApplyFlags(int flags);
  void mark() override;
};

class c_GraphicsContext : public Object {
 public:
  static constexpr int kMatrixStackFloats = 192;  // 32 matrices of 6 floats

  c_Image* m_defaultFont = nullptr;
  c_Image* m_font = nullptr;
  int m_firstChar = 0;
  int m_matrixSp = 0;
  float m_ix = 1, m_iy = 0, m_jx = 0, m_jy = 1, m_tx = 0, m_ty = 0;
  int m_tformed = 0;
  int m_matDirty = 0;
  float m_color_r = 0, m_color_g = 0, m_color_b = 0;
  float m_alpha = 0;
  int m_blend = 0;
  float m_scissor_x = 0, m_scissor_y = 0, m_scissor_width = 0, m_scissor_height = 0;
  Array<float> m_matrixStack;

  c_GraphicsContext() {}
  c_GraphicsContext* m_new();
  int p_Validate();
  void mark() override;
};

// Module globals; collector roots queued by the framework.
extern gxtkGraphics* vo_graphics_device;
extern c_GraphicsContext* vo_graphics_context;
extern gxtkGraphics* vo_graphics_renderDevice;

int vo_graphics_SetGraphicsDevice(gxtkGraphics* dev);
int vo_graphics_BeginRender();
int vo_graphics_EndRender();
int vo_graphics_DeviceWidth();
int vo_graphics_DeviceHeight();

int vo_graphics_SetColor(float r, float g, float b);
int vo_graphics_SetAlpha(float a);
int vo_graphics_SetBlend(int blend);
int vo_graphics_SetScissor(float x, float y, float w, float h);
int vo_graphics_SetMatrix(float ix, float iy, float jx, float jy, float tx, float ty);
int vo_graphics_SetMatrix2(Array<float> m);
int vo_graphics_Transform(float ix, float iy, float jx, float jy, float tx, float ty);
int vo_graphics_Transform2(Array<float> m);
int vo_graphics_Translate(float x, float y);
int vo_graphics_Scale(float x, float y);
int vo_graphics_Rotate(float degrees);
int vo_graphics_PushMatrix();
int vo_graphics_PopMatrix();
int vo_graphics_SetFont(c_Image* font, int firstChar);

int vo_graphics_Cls(float r, float g, float b);
int vo_graphics_DrawRect(float x, float y, float w, float h);
int vo_graphics_DrawLine(float x1, float y1, float x2, float y2);
int vo_graphics_DrawEllipse(float x, float y, float xr, float yr);
int vo_graphics_DrawImage(c_Image* img, float x, float y, int frame);
int vo_graphics_DrawImage2(c_Image* img, float x, float y, float rotation, float scaleX, float scaleY, int frame);
int vo_graphics_ReadPixels(Array<int> pixels, int x, int y, int w, int h, int offset, int pitch);

c_Image* vo_graphics_LoadImage(String path, int frameCount, int flags);
c_Image* vo_graphics_LoadImage2(String path, int frameWidth, int frameHeight, int frameCount, int flags);
