// Screenshots: the next frame the renderer draws, read back before it is shown and written as a
// PNG file. Nothing is read or allocated while no screenshot is asked for.
// Callers: the screenshot export (asks); the frame renderer (takes it, after the interface pass).
#pragma once
#include <cstdint>

#include "contract.h"

namespace tsm::gfx {
// The longest path and the results (SCREENSHOT_*) come from the host contract.
using contract::MAX_SCREENSHOT_PATH;
using contract::SCREENSHOT_BAD_PATH;
using contract::SCREENSHOT_NO_GL;
using contract::SCREENSHOT_NOT_WRITTEN;
using contract::SCREENSHOT_PENDING;
using contract::SCREENSHOT_WRITTEN;

// Asks for the next frame at `path`: SCREENSHOT_PENDING, or a refusal.
int32_t requestScreenshot(const char* path);
// The last screenshot's status (SCREENSHOT_PENDING until the frame is drawn).
int32_t screenshotStatus();
// Reads the drawn frame (`width` x `height` of the default framebuffer's back buffer) and writes
// the file when one was asked for. Called by the renderer just before the swap.
void takeScreenshot(int32_t width, int32_t height);
}  // namespace tsm::gfx
