// The listener and world-positioned sounds. Sounds of command 1 are placed relative to the listener
// (the pool's sources are listener-relative); command 17 plays one at a world position instead, so
// that it stays in place while commands 15 and 16 move and turn the listener with the camera. Such a
// source is made listener-relative again before the pool takes it back, so command 1 never finds a
// world source. Allocates nothing.
// Callers: the command stream (15, 16, 17); streamAudio at the start of every tick.
#include <cmath>

#include "audio/state.h"

namespace tsm::audio {
namespace {
// The listener's facing direction and up vector, sent together as AL_ORIENTATION.
float listenerOrientation[6] = {0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f};

// Sources command 17 made world-positioned and still playing; at most the pool's size.
uint32_t worldSources[SOURCE_COUNT];
uint32_t worldCount = 0;

bool finite3(const float v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }
bool nonZero3(const float v[3]) { return v[0] != 0.0f || v[1] != 0.0f || v[2] != 0.0f; }

// Sends the orientation; 0, or 1 on an OpenAL error (which is dropped, as command 4 does).
double sendOrientation() {
  alListenerfv(AL_ORIENTATION, listenerOrientation);
  return alGetError() == AL_NO_ERROR ? 0 : 1;
}

// The same test as the pool's reclaim step, so a source is restored exactly when it is reclaimed.
bool finished(uint32_t source) {
  ALint state = AL_INITIAL;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  if (alGetError() != AL_NO_ERROR) return true;
  return state == AL_STOPPED || state == AL_INITIAL;
}
}  // namespace

double setListener(const float position[3], const float forward[3]) {
  if (!finite3(position) || !finite3(forward) || !nonZero3(forward)) return 1;
  alListenerfv(AL_POSITION, position);
  const bool failed = alGetError() != AL_NO_ERROR;
  for (int i = 0; i < 3; ++i) listenerOrientation[i] = forward[i];
  return sendOrientation() != 0 || failed ? 1 : 0;
}

double setListenerUp(const float up[3]) {
  if (!finite3(up) || !nonZero3(up)) return 1;
  for (int i = 0; i < 3; ++i) listenerOrientation[3 + i] = up[i];
  return sendOrientation();
}

double playSoundAt(uint32_t soundId, float gain, float pitch, const float position[3]) {
  const double source = playSound(soundId, gain, pitch, position, true);
  // A source is in the pool's playing list at most once, so the table never overflows.
  if (source != 0 && worldCount < SOURCE_COUNT) worldSources[worldCount++] = static_cast<uint32_t>(source);
  return source;
}

void restoreWorldSources() {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < worldCount; ++i) {
    const uint32_t source = worldSources[i];
    if (finished(source)) {
      alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
      alGetError();
    } else {
      worldSources[kept++] = source;
    }
  }
  worldCount = kept;
}

void streamAudio() {
  streamMusic();
  if (worldCount != 0) restoreWorldSources();
}
}  // namespace tsm::audio
