// The extension exports: host functions added after the 26 of the base contract, in the order the
// export table appends them. Each is safe after quit and bounds every input; a host that never
// calls them sees no difference. Their work is done by the subsystems (gfx/windowcontrol,
// gfx/sprites, audio/music, input/events); this file only checks and converts arguments.
#pragma once
#include <node_api.h>

namespace tsm::bridge {
// Puts the extension functions behind `exports`, on its prototype: reachable as `addon.name`,
// while the 26 own properties of the base contract stay exactly as they are.
void defineExtensions(napi_env env, napi_value exports);

// setWindowTitle(title): 0, 1 without a window, -1 for a title over MAX_TITLE_BYTES or with a NUL.
napi_value setWindowTitle(napi_env env, napi_callback_info info);
// setWindowSize(width, height): 0 asked, 1 without a window, -1 a side outside 1..MAX_WINDOW_SIDE.
napi_value setWindowSize(napi_env env, napi_callback_info info);
// setRenderScale(scale): 0, -1 for a scale outside 0.25..1.
napi_value setRenderScale(napi_env env, napi_callback_info info);
// enableEvent(type, on): 1 when `type` is an opt-in record type (now on or off), else 0.
napi_value enableEvent(napi_env env, napi_callback_info info);
// playMusic(path, gain, loopStart, loopEnd): the source, 0 without a free source or device, a
// negative Vorbis error code for a file that cannot be read (-1 also for a path over MAX_MUSIC_PATH
// or with a NUL), -131 for a loop end before its start.
napi_value playMusic(napi_env env, napi_callback_info info);
// stopMusic(): 0, or 1 when no music was playing.
napi_value stopMusic(napi_env env, napi_callback_info info);
// loadImage(id, path) and setImage(id, rgbaBuffer, width, height): [status, x, y, width, height]:
// status 0 (gfx::ImageStatus otherwise) and where the image's top-left texel lies in the sprite
// atlas (texel rows grow downwards in the image), zeros on failure. An id over 255 fails its check.
napi_value loadImage(napi_env env, napi_callback_info info);
napi_value setImage(napi_env env, napi_callback_info info);
}  // namespace tsm::bridge
