// The machine's floor for one play frame: a minimal OpenGL program that draws
// the batches the play benchmark recorded (the same vertices, textures,
// blending and background) from one prepared vertex and index array, with no
// game logic, no display list and no batching work left to do per frame.
//
//   floor_bench RECORD_FILE [FRAMES]
//
// Prints `floor_fps=… draws_per_frame=…` for FRAMES frames (draw + buffer
// swap, swap interval 0) after 60 warm-up frames, and `first_frame_ms=…`: the
// time from process start (QUILLET_START_NS, CLOCK_REALTIME ns, set by the
// caller just before it starts this program; else entry to main) until the
// first frame is swapped: the least any OpenGL program here takes to start;
// and its peak resident size `rss_mib=…`, the OpenGL stack's share.
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/clock.h"
#include "bench/frame_record.h"

namespace {

constexpr int kWarmupFrames = 60;

// Consecutive indices drawn with one call.
struct Run {
  int texture, blend;
  GLenum mode;
  int first, count;
};

// Appends a batch's vertices to the vertex array and its indices to the index
// array, as points, lines or triangles (each quad two triangles sharing its
// corners, as the driver draws them; each polygon its fan's triangles), and
// extends or starts the run it belongs to.
void addBatch(const FrameRecord::Batch& b, std::vector<gxtkVertex>* vertices, std::vector<GLuint>* indices,
              std::vector<Run>* runs) {
  const GLuint base = static_cast<GLuint>(vertices->size());
  const GLuint n = static_cast<GLuint>(b.vertices.size());
  vertices->insert(vertices->end(), b.vertices.begin(), b.vertices.end());
  const int first = static_cast<int>(indices->size());
  GLenum mode = GL_TRIANGLES;
  if (b.type >= 1 && b.type <= 3) {
    mode = b.type == 1 ? GL_POINTS : b.type == 2 ? GL_LINES : GL_TRIANGLES;
    for (GLuint i = 0; i < n; ++i) indices->push_back(base + i);
  } else {
    const GLuint size = static_cast<GLuint>(b.type);
    for (GLuint p = base; p + size <= base + n; p += size) {
      for (GLuint i = 1; i + 1 < size; ++i) {
        indices->push_back(p);
        indices->push_back(p + i);
        indices->push_back(p + i + 1);
      }
    }
  }
  const int count = static_cast<int>(indices->size()) - first;
  if (!runs->empty()) {
    Run& last = runs->back();
    if (last.texture == b.texture && last.blend == b.blend && last.mode == mode) {
      last.count += count;
      return;
    }
  }
  runs->push_back(Run{b.texture, b.blend, mode, first, count});
}

GLenum formatOf(int depth) {
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

GLuint upload(const RecordedTexture& t) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  const GLenum format = formatOf(t.depth);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), t.texW, t.texH, 0, format, GL_UNSIGNED_BYTE, nullptr);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t.width, t.height, format, GL_UNSIGNED_BYTE, t.pixels.data());
  return name;
}

void drawFrame(const std::vector<Run>& runs, const std::vector<GLuint>& indices, const std::vector<GLuint>& textures) {
  int texture = -1;
  int blend = 0;
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  for (const Run& r : runs) {
    if (r.texture != texture) {
      if (r.texture < 0) {
        glDisable(GL_TEXTURE_2D);
      } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(r.texture)]);
      }
      texture = r.texture;
    }
    if (r.blend != blend) {
      glBlendFunc(GL_ONE, r.blend == 1 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
      blend = r.blend;
    }
    glDrawElements(r.mode, r.count, GL_UNSIGNED_INT, indices.data() + r.first);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* start = std::getenv("QUILLET_START_NS");
  const double startNs = start ? std::atof(start) : RealtimeNs();
  FrameRecord frame;
  if (argc < 2 || !ReadFrameRecord(argv[1], &frame)) {
    std::puts("usage: floor_bench RECORD_FILE [FRAMES] (a frame written by play_bench)");
    return 1;
  }
  const int frames = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 300;
  if (!glfwInit()) return 1;
  // The game's framebuffer: 8 bits a colour channel, no alpha, depth or stencil.
  glfwWindowHint(GLFW_ALPHA_BITS, 0);
  glfwWindowHint(GLFW_DEPTH_BITS, 0);
  glfwWindowHint(GLFW_STENCIL_BITS, 0);
  GLFWwindow* window = glfwCreateWindow(frame.width, frame.height, "floor", nullptr, nullptr);
  if (!window) return 1;
  glfwMakeContextCurrent(window);
  glfwSwapInterval(0);

  std::vector<gxtkVertex> vertices;
  std::vector<GLuint> indices;
  std::vector<Run> runs;
  for (const FrameRecord::Batch& b : frame.batches) addBatch(b, &vertices, &indices, &runs);
  std::vector<GLuint> textures;
  for (const RecordedTexture& t : frame.textures) textures.push_back(upload(t));

  glViewport(0, 0, frame.width, frame.height);
  glMatrixMode(GL_PROJECTION);
  glOrtho(0, frame.width, frame.height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(gxtkVertex), &vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(gxtkVertex), &vertices[0].u);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(gxtkVertex), &vertices[0].color);
  glEnable(GL_BLEND);

  double firstFrameMs = 0;
  for (int i = 0; i < kWarmupFrames; ++i) {
    drawFrame(runs, indices, textures);
    glfwSwapBuffers(window);
    if (i == 0) {
      glFinish();
      firstFrameMs = (RealtimeNs() - startNs) / 1e6;
    }
  }
  const double t0 = MonotonicS();
  for (int i = 0; i < frames; ++i) {
    drawFrame(runs, indices, textures);
    glfwSwapBuffers(window);
    glfwPollEvents();
  }
  const double seconds = MonotonicS() - t0;
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("floor_fps=%.2f draws_per_frame=%zu first_frame_ms=%.1f rss_mib=%.1f\n", frames / seconds, runs.size(),
              firstFrameMs, static_cast<double>(usage.ru_maxrss) / 1024.0);
  glfwTerminate();
  return 0;
}
