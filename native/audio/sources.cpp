// The sound commands of the command stream (play, pause, stop, gain, and the three that act on all
// playing sources) and the reclaim step that `tick` runs before them. Sources come from and go back
// to the pool built by initAudio (audio.cpp); they are never generated or deleted here. OpenAL
// errors are logged and reported through the command's result. Allocates nothing.
#include "audio/state.h"
#include "base/check.h"
#include "base/log.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";

// A source is finished once it has stopped, or never started, or can no longer be asked.
bool sourceFinished(uint32_t source, void*) {
  ALint state = AL_INITIAL;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  if (alGetError() != AL_NO_ERROR) return true;
  return state == AL_STOPPED || state == AL_INITIAL;
}

ALuint sourceName(int32_t source) { return static_cast<ALuint>(source); }
}  // namespace

void reclaimSources() {
  if (sourcePool.playingCount == 0) return;
  reclaimFinished(sourcePool, sourceFinished, nullptr);
}

double playSound(uint32_t soundId, float gain, float pitch, const float position[3], bool world) {
  const ALuint buffer = alBuffers[soundId % alBufferCount];
  uint32_t source = 0;
  if (!takeSource(sourcePool, source)) return 0;
  // A pool that could not be generated holds zeros: taken and returned like the others, never played.
  if (source == 0) return 0;

  alSourceStop(source);
  alSourcef(source, AL_GAIN, gain);
  alSourcef(source, AL_PITCH, pitch);
  alSourcefv(source, AL_POSITION, position);
  // A world position is placed against the listener (which command 15 moves); the source goes back
  // to listener-relative before the pool takes it back (audio/listener).
  if (world) alSourcei(source, AL_SOURCE_RELATIVE, AL_FALSE);
  ALenum error = alGetError();
  if (error != AL_NO_ERROR) logError("Failed to set gain: %s\n", alErrorText(error));

  alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
  error = alGetError();
  if (error != AL_NO_ERROR) logError("Failed to set sound source buffer: %s\n", alErrorText(error));

  alSourcePlay(source);
  error = alGetError();
  if (error != AL_NO_ERROR) {
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    alGetError();
    logInfo("state: %i, error: %s\n", state, alErrorText(error));
  }
  return source;
}

double pauseSource(int32_t source) {
  if (source == 0) return 1;
  ALint state = 0;
  alGetSourcei(sourceName(source), AL_SOURCE_STATE, &state);
  ALenum error = alGetError();
  if (error != AL_NO_ERROR) {
    logError("Failed to set sound source buffer, source=%i: %s\n", source, alErrorText(error));
    return 1;
  }
  if (state != AL_PLAYING && state != AL_PAUSED) return 0;
  alSourcePause(sourceName(source));
  error = alGetError();
  if (error != AL_NO_ERROR) {
    logError("Got error pausing source=%i: %s\n", source, alErrorText(error));
    return 1;
  }
  return 0;
}

double stopSource(int32_t source) {
  if (source == 0) return 1;
  noteSourceStopped(static_cast<uint32_t>(source));
  ALint state = 0;
  alGetSourcei(sourceName(source), AL_SOURCE_STATE, &state);
  // CHECK_IN stringifies its condition before AL_NO_ERROR is expanded, so the text names it.
  CHECK_IN(checkModule, alGetError() == AL_NO_ERROR && "Failed to set sound source buffer");
  if (state != AL_PLAYING && state != AL_PAUSED) return 0;
  alSourceStop(sourceName(source));
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) {
    logError("Got error stopping source=%i: %s\n", source, alErrorText(error));
    return 1;
  }
  return 0;
}

double setSourceGain(int32_t source, float gain) {
  alSourcef(sourceName(source), AL_GAIN, gain);
  // Not reported (the command has no error result), but dropped so that the next command that
  // checks does not take it for its own.
  alGetError();
  return 0;
}

double stopAll() {
  noteSourceStopped(ALL_SOURCES);
  alSourceStopv(static_cast<ALsizei>(sourcePool.playingCount), sourcePool.playingSources);
  const ALenum error = alGetError();
  if (error == AL_NO_ERROR) return 0;
  logError("Got error stopping all: %s\n", alErrorText(error));
  return 1;
}

double pauseAll() {
  alSourcePausev(static_cast<ALsizei>(sourcePool.playingCount), sourcePool.playingSources);
  const ALenum error = alGetError();
  if (error == AL_NO_ERROR) return 0;
  logError("Got error pausing all: %s\n", alErrorText(error));
  return 1;
}

double resumeAll() {
  alSourcePlayv(static_cast<ALsizei>(sourcePool.playingCount), sourcePool.playingSources);
  const ALenum error = alGetError();
  if (error == AL_NO_ERROR) return 0;
  logError("Got error resuming all: %s\n", alErrorText(error));
  return 1;
}
}  // namespace tsm::audio
