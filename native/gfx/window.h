// The window and its GL context: SDL start-up, the window, the GL start-up, fullscreen switching
// and tracking of the drawable size. Called by module start-up and shutdown, the command stream
// (fullscreen), the event pump (size changes), setBuffers (the size's home) and the renderer.
#pragma once
#include <cstdint>

struct SDL_Window;

namespace tsm::gfx {
// Size of the window at start, in pixels; also the drawable size until the first resize.
constexpr int32_t INITIAL_WINDOW_WIDTH = 1400;
constexpr int32_t INITIAL_WINDOW_HEIGHT = 800;

// SDL_Init with timer, video, game controller and events; logs the outcome. True on success.
bool initSDL();
// Creates the window and its GL context (run once, after initSDL succeeded).
void initWindow();
// GLEW, the OpenGL 4.0 check, debug output and a first clear (run right after initWindow).
void startGL();
// True once the GL start-up has loaded the GL entry points (GLEW succeeded); false again after quit.
bool glReady();
// True once quit has released a GL context that start-up had made: the entry points are still
// loaded but no context is current, so nothing may call GL again.
bool glClosed();
// Logs "Closing SDL" and ends SDL (shutdown).
void closeSDL();

// Command 8: switches between windowed and fullscreen; SDL's result (0 success, negative failure).
int32_t toggleFullscreen();
// Brings the drawable size, the viewportSize uniforms and the screen-sized textures up to date.
void resize();

// The viewportSize pair (drawable width, height in pixels): the shared block it was moved into by
// moveViewportSize while that block still exists and holds 8 bytes, else the native pair. Never null.
float* viewportSize();
// renderSize: the viewportSize pair truncated to integers; set wherever viewportSize is set.
extern int32_t renderSize[2];
// Makes shared block `id` the pair's home, copying the current two values into it. A block that
// does not exist or is shorter than 8 bytes leaves the pair where it is. Sets renderSize.
void moveViewportSize(uint32_t id);

// The one window; null before initWindow or when it could not be created.
SDL_Window* mainWindow();
}  // namespace tsm::gfx
