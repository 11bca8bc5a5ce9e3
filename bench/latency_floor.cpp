// The floor of input-to-screen latency: the least any GLFW program here takes
// from a key press to a changed window. A 640 x 480 window that sleeps in
// glfwWaitEvents and repaints at once after every batch of events: red, or
// yellow while the Up key is held. latency_bench measures it the same way as
// the game, whose up-control dot turns from red to yellow.
#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cstdio>

namespace {

bool upHeld = false;

void OnKey(GLFWwindow*, int key, int, int action, int) {
  if (key == GLFW_KEY_UP) upHeld = action != GLFW_RELEASE;
}

void Repaint(GLFWwindow* window) {
  glClearColor(1.0f, upHeld ? 1.0f : 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glfwSwapBuffers(window);
}

}  // namespace

int main() {
  if (!glfwInit()) {
    std::fprintf(stderr, "latency_floor: glfwInit failed\n");
    return 1;
  }
  GLFWwindow* window = glfwCreateWindow(640, 480, "latency floor", nullptr, nullptr);
  if (!window) {
    std::fprintf(stderr, "latency_floor: no window\n");
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSetKeyCallback(window, OnKey);
  Repaint(window);
  while (!glfwWindowShouldClose(window)) {
    glfwWaitEvents();
    Repaint(window);
  }
  glfwTerminate();
  return 0;
}
