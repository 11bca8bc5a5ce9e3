// The batching OpenGL driver.
//
// Invariant of the batch: vertices[0 .. primCount) hold primitives of kind
// primType (kPrimPoints, kPrimLines, kPrimTriangles, kPrimQuads, or n >= 5
// for polygons of n vertices), all textured by primSurf (null: untextured), not yet drawn.
// Each batch is one draw call: the fans of a polygon batch go to OpenGL
// together as one list of triangles (glDrawElements).
// The batch goes to OpenGL (Flush) only when the kind or the texture changes,
// it is full, or a state change needs the pixels drawn first (blend, scissor,
// read-back, texture update). Colour and position live in each vertex, so
// colour and matrix changes never flush.
//
// Without a current OpenGL context (no window opened yet, glfwGraphicsSeq 0,
// or a test host whose window is not a real one) the driver keeps its batch
// and counters but makes no GL calls, so everything above it runs headless.
// The host says whether there is a context, whatever the window system.
//
// Every call here is also in WebGL 1 as a browser's OpenGL emulation offers
// it, and draws the same pixels there: no glMultiDrawArrays (one index list
// instead), no GL_UNPACK_ROW_LENGTH (a packed copy of the rectangle
// instead), no GL_BGRA read-back (RGBA, red and blue swapped here).
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/graphics.h"
#include "host/game.h"

namespace {

// True when GL calls reach a real context.
bool haveContext() { return VoGlfwGame::_glfwGame && VoGlfwGame::_glfwGame->HasContext(); }

// The host window's drawing size, or 0 x 0 when there is no host.
void readWindowSize(int* w, int* h) {
  *w = 0;
  *h = 0;
  if (VoGlfwGame::_glfwGame) VoGlfwGame::_glfwGame->GetWindowSize(w, h);
}

// Truncates a colour product to a byte; values outside 0..255 (an alpha above
// 1, a negative colour) are clamped rather than spilling into the other
// channels of the packed colour.
uint32_t toByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<uint32_t>(v);
}

// The smallest power of two not below n (1 for n below 2).
int nextPow2(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

// Draws one primitive run, counting it; GL is called only with a context.
void drawArrays(gxtkCounters& c, GLenum mode, int first, int count) {
  ++c.drawCalls;
  if (haveContext()) glDrawArrays(mode, first, count);
}

bool glReportsError(int, int) { return glGetError() != GL_NO_ERROR; }

unsigned int formatForDepth(int depth) {
  switch (depth) {
    case 1:
      return GL_LUMINANCE;
    case 2:
      return GL_LUMINANCE_ALPHA;
    case 3:
      return GL_RGB;
    default:
      return GL_RGBA;
  }
}

// True when the rectangle (x, y, w, h) lies inside a width x height area.
bool rectInside(int x, int y, int w, int h, int width, int height) {
  return w > 0 && h > 0 && x >= 0 && y >= 0 && x <= width - w && y <= height - h;
}

// True when a w x h block stored at offset with the given row pitch stays
// inside an array of length elements.
bool blockFits(int length, int offset, int w, int h, int pitch) {
  if (w <= 0 || h <= 0 || offset < 0 || pitch < w) return false;
  long long last = static_cast<long long>(offset) + static_cast<long long>(h - 1) * pitch + w - 1;
  return last < length;
}

}  // namespace

// ---------------------------------------------------------------------------
// gxtkSurface
// ---------------------------------------------------------------------------

bool (*gxtkSurface::textureRefused)(int w, int h) = glReportsError;

gxtkSurface::~gxtkSurface() { gxtkSurface::Discard(); }

int gxtkSurface::Discard() {
  if (seq == glfwGraphicsSeq && haveContext()) {
    glDeleteTextures(1, &texture);
    seq = -1;
  }
  if (data) {
    std::free(data);
    data = nullptr;
  }
  return 0;
}

int gxtkSurface::Width() { return width; }
int gxtkSurface::Height() { return height; }
bool gxtkSurface::Loaded() { return true; }

bool gxtkSurface::OnUnsafeLoadComplete() {
  Bind();
  return true;
}

void gxtkSurface::SetData(unsigned char* pixels, int w, int h, int d) {
  if (data && data != pixels) std::free(data);
  data = pixels;
  width = w;
  height = h;
  depth = d;
  format = formatForDepth(d);
  // Texture coordinates of the first batch that uses the surface are taken
  // before Bind creates its texture, so they need the scale already.
  uscale = w > 0 ? 1.0f / static_cast<float>(w) : 1.0f;
  vscale = h > 0 ? 1.0f / static_cast<float>(h) : 1.0f;
  // Premultiply in place so blending can use (ONE, ONE_MINUS_SRC_ALPHA).
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (d == 2) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char* p = pixels + i * 2;
      p[0] = static_cast<unsigned char>(p[0] * p[1] / 255);
    }
  } else if (d == 4) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char* p = pixels + i * 4;
      const int a = p[3];
      p[0] = static_cast<unsigned char>(p[0] * a / 255);
      p[1] = static_cast<unsigned char>(p[1] * a / 255);
      p[2] = static_cast<unsigned char>(p[2] * a / 255);
    }
  }
}

void gxtkSurface::SetSubData(int x, int y, int w, int h, unsigned int* src, int pitch) {
  if (format != GL_RGBA) return;
  // A rectangle outside the surface would write past the pixel block.
  if (!src || pitch < w || !rectInside(x, y, w, h, width, height)) return;
  if (!data) {
    data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * static_cast<size_t>(height) * 4));
    if (!data) return;
  }
  for (int row = 0; row < h; ++row) {
    const unsigned int* in = src + static_cast<size_t>(row) * pitch;
    unsigned char* out = data + (static_cast<size_t>(y + row) * width + x) * 4;
    for (int col = 0; col < w; ++col, out += 4) {
      const unsigned int p = in[col];
      const unsigned int a = p >> 24;
      out[0] = static_cast<unsigned char>(((p >> 16) & 255) * a / 255);
      out[1] = static_cast<unsigned char>(((p >> 8) & 255) * a / 255);
      out[2] = static_cast<unsigned char>((p & 255) * a / 255);
      out[3] = static_cast<unsigned char>(a);
    }
  }
  if (seq != glfwGraphicsSeq || !haveContext()) return;
  // One upload of the rectangle, from a packed copy of its rows.
  const size_t rowBytes = static_cast<size_t>(w) * 4;
  std::vector<unsigned char> packed(rowBytes * static_cast<size_t>(h));
  for (int row = 0; row < h; ++row)
    std::memcpy(packed.data() + row * rowBytes, data + (static_cast<size_t>(y + row) * width + x) * 4, rowBytes);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, packed.data());
}

void gxtkSurface::Bind() {
  if (!haveContext()) return;
  if (seq == glfwGraphicsSeq) {
    glBindTexture(GL_TEXTURE_2D, texture);
    return;
  }
  seq = glfwGraphicsSeq;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  // Drain errors left by earlier calls so only this definition is judged.
  while (glGetError() != GL_NO_ERROR) {
  }
  int tw = width;
  int th = height;
  glTexImage2D(GL_TEXTURE_2D, 0, format, tw, th, 0, format, GL_UNSIGNED_BYTE, nullptr);
  if (textureRefused(tw, th)) {
    tw = nextPow2(tw);
    th = nextPow2(th);
    glTexImage2D(GL_TEXTURE_2D, 0, format, tw, th, 0, format, GL_UNSIGNED_BYTE, nullptr);
  }
  uscale = 1.0f / static_cast<float>(tw);
  vscale = 1.0f / static_cast<float>(th);
  if (data) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, data);
  }
}

// ---------------------------------------------------------------------------
// gxtkGraphics
// ---------------------------------------------------------------------------

gxtkGraphics::gxtkGraphics() {
  readWindowSize(&width, &height);
  for (int q = 0; q < kMaxQuads; ++q) {
    uint16_t* i = quadIndices + q * 6;
    const uint16_t base = static_cast<uint16_t>(q * 4);
    i[0] = base;
    i[1] = static_cast<uint16_t>(base + 1);
    i[2] = static_cast<uint16_t>(base + 2);
    i[3] = base;
    i[4] = static_cast<uint16_t>(base + 2);
    i[5] = static_cast<uint16_t>(base + 3);
  }
  std::memset(vertices, 0, sizeof vertices);
  SetColor(255, 255, 255);
  SetAlpha(1);
}

int gxtkGraphics::Width() { return width; }
int gxtkGraphics::Height() { return height; }

int gxtkGraphics::BeginRender() {
  readWindowSize(&width, &height);
  primCount = 0;
  primSurf = nullptr;
  glBlend = 0;
  glScissorKnown = false;
  if (!haveContext()) return 1;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(gxtkVertex), &vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(gxtkVertex), &vertices[0].u);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(gxtkVertex), &vertices[0].color);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  return 1;
}

int gxtkGraphics::EndRender() {
  Flush();
  if (VoGlfwGame::_glfwGame) VoGlfwGame::_glfwGame->SwapBuffers();
  return 0;
}

int gxtkGraphics::DiscardGraphics() { return 0; }

gxtkSurface* gxtkGraphics::LoadSurface(String path) {
  gxtkSurface* s = LoadSurface__UNSAFE__(new gxtkSurface(), path);
  if (s) s->Bind();
  return s;
}

gxtkSurface* gxtkGraphics::LoadSurface__UNSAFE__(gxtkSurface* s, String path) {
  if (!VoGlfwGame::_glfwGame) return nullptr;
  int w = 0, h = 0, d = 0;
  unsigned char* pixels = VoGlfwGame::_glfwGame->LoadImageData(path, &w, &h, &d);
  if (!pixels) return nullptr;
  s->SetData(pixels, w, h, d);
  return s;
}

gxtkSurface* gxtkGraphics::CreateSurface(int w, int h) {
  gxtkSurface* s = new gxtkSurface();
  s->width = w;
  s->height = h;
  s->depth = 4;
  s->format = GL_RGBA;
  s->Bind();
  return s;
}

int gxtkGraphics::Cls(float cr, float cg, float cb) {
  primCount = 0;
  if (!haveContext()) return 0;
  glClearColor(cr / 255.0f, cg / 255.0f, cb / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  return 0;
}

int gxtkGraphics::SetAlpha(float a) {
  alpha = a;
  color = toByte(r * a) | toByte(g * a) << 8 | toByte(b * a) << 16 | toByte(255.0f * a) << 24;
  return 0;
}

int gxtkGraphics::SetColor(float cr, float cg, float cb) {
  r = cr;
  g = cg;
  b = cb;
  return SetAlpha(alpha);
}

// A display-list replay sets the blend once per entry, usually to the value
// already in force; flushing each time would cost one draw call per entry.
// An unchanged blend leaves every pixel the same, so the flush is skipped.
int gxtkGraphics::SetBlend(int blend) {
  const int mode = blend == 1 ? 1 : 0;
  if (skipUnchangedState && mode == glBlend) return 0;
  Flush();
  glBlend = mode;
  if (haveContext()) glBlendFunc(GL_ONE, mode == 1 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
  return 0;
}

// Like SetBlend: the module sets the scissor every frame, mostly to the box
// already in force, so an unchanged scissor neither flushes nor calls GL.
int gxtkGraphics::SetScissor(int x, int y, int w, int h) {
  const bool on = !(x == 0 && y == 0 && w == width && h == height);
  // A negative size would make OpenGL reject the box and keep the old one;
  // an empty box is what such a call means.
  const int box[4] = {x, height - y - std::max(h, 0), std::max(w, 0), std::max(h, 0)};
  if (skipUnchangedState && glScissorKnown && on == glScissorOn && (!on || std::equal(box, box + 4, glScissorBox)))
    return 0;
  Flush();
  glScissorKnown = true;
  glScissorOn = on;
  std::copy(box, box + 4, glScissorBox);
  if (!haveContext()) return 0;
  if (on) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(box[0], box[1], box[2], box[3]);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
  return 0;
}

int gxtkGraphics::SetMatrix(float mix, float miy, float mjx, float mjy, float mtx, float mty) {
  ix = mix;
  iy = miy;
  jx = mjx;
  jy = mjy;
  tx = mtx;
  ty = mty;
  tformed = !(ix == 1 && iy == 0 && jx == 0 && jy == 1 && tx == 0 && ty == 0);
  return 0;
}

gxtkVertex* gxtkGraphics::Begin(int type, int count, gxtkSurface* surf) {
  if (type != primType || surf != primSurf || primCount + count > kMaxVertices) {
    Flush();
    primType = type;
    primSurf = surf;
  }
  gxtkVertex* v = vertices + primCount;
  primCount += count;
  return v;
}

void gxtkGraphics::PutVertex(gxtkVertex* v, float x, float y, float u, float w) {
  if (tformed) {
    v->x = x * ix + y * jx + tx;
    v->y = x * iy + y * jy + ty;
  } else {
    v->x = x;
    v->y = y;
  }
  v->u = u;
  v->v = w;
  v->color = color;
}

void gxtkGraphics::AppendQuad(gxtkSurface* s, float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                              float v1) {
  gxtkVertex* v = Begin(kPrimQuads, 4, s);
  PutVertex(v, x0, y0, u0, v0);
  PutVertex(v + 1, x1, y0, u1, v0);
  PutVertex(v + 2, x1, y1, u1, v1);
  PutVertex(v + 3, x0, y1, u0, v1);
}

int gxtkGraphics::DrawPoint(float x, float y) {
  PutVertex(Begin(kPrimPoints, 1, nullptr), x, y, 0, 0);
  return 0;
}

int gxtkGraphics::DrawRect(float x, float y, float w, float h) {
  AppendQuad(nullptr, x, y, x + w, y + h, 0, 0, 0, 0);
  return 0;
}

int gxtkGraphics::DrawLine(float x1, float y1, float x2, float y2) {
  gxtkVertex* v = Begin(kPrimLines, 2, nullptr);
  PutVertex(v, x1, y1, 0, 0);
  PutVertex(v + 1, x2, y2, 0, 0);
  return 0;
}

int gxtkGraphics::DrawOval(float x, float y, float w, float h) {
  const float xr = w * 0.5f;
  const float yr = h * 0.5f;
  // Segment count from the radii as drawn; kept in float until clamped so
  // a huge or invalid radius cannot overflow the conversion.
  float n;
  if (tformed) {
    n = std::trunc(std::hypot(xr * ix, xr * iy) + std::hypot(yr * jx, yr * jy));
  } else {
    n = std::fabs(std::trunc(xr)) + std::fabs(std::trunc(yr));
  }
  int segs;
  if (n < 12.0f) {
    segs = 12;
  } else if (n <= 1024.0f) {
    segs = static_cast<int>(n) & ~3;
  } else {
    segs = 1024;
  }
  gxtkVertex* v = Begin(segs, segs, nullptr);
  for (int i = 0; i < segs; ++i) {
    const float th = static_cast<float>(i) * 6.2831855f / static_cast<float>(segs);
    PutVertex(v + i, x + xr + xr * std::cos(th), y + yr - yr * std::sin(th), 0, 0);
  }
  return 0;
}

int gxtkGraphics::DrawPoly(Array<float> xy) {
  const int n = xy.Length() / 2;
  if (n < 1 || n > kMaxVertices) return 0;
  gxtkVertex* v = Begin(n, n, nullptr);
  for (int i = 0; i < n; ++i) PutVertex(v + i, xy[i * 2], xy[i * 2 + 1], 0, 0);
  return 0;
}

int gxtkGraphics::DrawPoly2(Array<float> xyuv, gxtkSurface* s, int srcx, int srcy) {
  const int n = xyuv.Length() / 4;
  if (n < 1 || n > kMaxVertices || !s) return 0;
  gxtkVertex* v = Begin(n, n, s);
  for (int i = 0; i < n; ++i) {
    const float* p = &xyuv[i * 4];
    PutVertex(v + i, p[0], p[1], (p[2] + srcx) * s->uscale, (p[3] + srcy) * s->vscale);
  }
  return 0;
}

int gxtkGraphics::DrawSurface(gxtkSurface* s, float x, float y) {
  const float w = static_cast<float>(s->Width());
  const float h = static_cast<float>(s->Height());
  AppendQuad(s, x, y, x + w, y + h, 0, 0, w * s->uscale, h * s->vscale);
  return 0;
}

int gxtkGraphics::DrawSurface2(gxtkSurface* s, float x, float y, int srcx, int srcy, int srcw, int srch) {
  AppendQuad(s, x, y, x + srcw, y + srch, srcx * s->uscale, srcy * s->vscale, (srcx + srcw) * s->uscale,
             (srcy + srch) * s->vscale);
  return 0;
}

int gxtkGraphics::ReadPixels(Array<int> pixels, int x, int y, int w, int h, int offset, int pitch) {
  Flush();
  // The caller's array must hold the whole block; anything else would write
  // past its end.
  if (!blockFits(pixels.Length(), offset, w, h, pitch) || !haveContext()) return 0;
  std::vector<unsigned int> block(static_cast<size_t>(w) * static_cast<size_t>(h));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // RGBA bytes read as a little-endian int are 0xAABBGGRR; swapping red and
  // blue gives 0xAARRGGBB.
  glReadPixels(x, height - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, block.data());
  for (int row = 0; row < h; ++row) {
    const unsigned int* in = block.data() + static_cast<size_t>(h - 1 - row) * w;
    int* out = &pixels[offset + row * pitch];
    for (int col = 0; col < w; ++col) {
      const unsigned int p = in[col];
      out[col] = static_cast<int>((p & 0xff00ff00u) | (p & 0xffu) << 16 | (p >> 16 & 0xffu));
    }
  }
  return 0;
}

int gxtkGraphics::WritePixels2(gxtkSurface* s, Array<int> pixels, int x, int y, int w, int h, int offset, int pitch) {
  Flush();
  if (!s || !blockFits(pixels.Length(), offset, w, h, pitch)) return 0;
  s->SetSubData(x, y, w, h, reinterpret_cast<unsigned int*>(&pixels[offset]), pitch);
  return 0;
}

void (*gxtkGraphics::flushObserver)(const gxtkGraphics&, int) = nullptr;

void gxtkGraphics::Flush() {
  if (primCount == 0) return;
  ++counters.flushes;
  if (flushObserver) flushObserver(*this, glBlend);
  const bool gl = haveContext();
  if (primSurf && gl) {
    glEnable(GL_TEXTURE_2D);
    primSurf->Bind();
  }
  switch (primType) {
    case kPrimPoints:
      drawArrays(counters, GL_POINTS, 0, primCount);
      break;
    case kPrimLines:
      drawArrays(counters, GL_LINES, 0, primCount);
      break;
    case kPrimTriangles:
      drawArrays(counters, GL_TRIANGLES, 0, primCount);
      break;
    case kPrimQuads:
      ++counters.drawCalls;
      if (gl) glDrawElements(GL_TRIANGLES, primCount / 4 * 6, GL_UNSIGNED_SHORT, quadIndices);
      break;
    default: {
      // Each polygon as the triangles of its fan (first vertex, i, i + 1),
      // all of them in one call.
      const int polys = primCount / primType;
      int n = 0;
      for (int p = 0; p < polys; ++p) {
        const int first = p * primType;
        for (int i = 1; i + 1 < primType; ++i) {
          fanIndices[n++] = static_cast<uint16_t>(first);
          fanIndices[n++] = static_cast<uint16_t>(first + i);
          fanIndices[n++] = static_cast<uint16_t>(first + i + 1);
        }
      }
      ++counters.drawCalls;
      if (gl) glDrawElements(GL_TRIANGLES, n, GL_UNSIGNED_SHORT, fanIndices);
      break;
    }
  }
  if (primSurf && gl) glDisable(GL_TEXTURE_2D);
  primCount = 0;
}
