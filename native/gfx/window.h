// The window and its GL context: SDL start-up, the window, the GL start-up, fullscreen switching
// and tracking of the drawable size. Called by module start-up and shutdown, the command stream
// (fullscreen) and the event pump (size changes).
#pragma once
#include <cstdint>

namespace tsm::gfx {
// SDL_Init with timer, video, game controller and events; logs the outcome. True on success.
bool initSDL();
// Creates the window and its GL context (run once, after initSDL succeeded).
void initWindow();
// GLEW, the OpenGL 4.0 check, debug output and a first clear (run right after initWindow).
void startGL();
// Logs "Closing SDL" and ends SDL (shutdown).
void closeSDL();

// Command 8: switches between windowed and fullscreen; SDL's result (0 success, negative failure).
int32_t toggleFullscreen();
// Brings the drawable size, the viewportSize uniforms and the screen-sized textures up to date.
void resize();
}  // namespace tsm::gfx
