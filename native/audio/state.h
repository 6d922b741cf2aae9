// Audio state shared by the device start-up and shutdown (audio.cpp), the sound commands
// (sources.cpp) and sound loading (sounds.cpp): the sound table, the source pool, and the text of
// an OpenAL error for log lines. Only the audio subsystem includes this header.
#pragma once
#include <AL/al.h>
#include <AL/alc.h>

#include "audio/audio.h"
#include "audio/core/sourcepool.h"

namespace tsm::audio {
// OpenAL buffer name of each sound id; 0 where nothing is loaded.
extern ALuint alBuffers[alBufferCount];
// The 64 sources, free and playing. Empty before start-up, after a failed one and after shutdown.
extern SourcePool sourcePool;

// Told by the stop commands which source they stopped (ALL_SOURCES for stop all), so that the music
// stream tells a stop from an underrun (audio/music).
constexpr uint32_t ALL_SOURCES = 0;
void noteSourceStopped(uint32_t source);
// The two halves of streamAudio: refilling the music stream, restoring world sources.
void streamMusic();
void restoreWorldSources();

// Text of an AL error code for a "%s"; hexadecimal ("AL error 0xa004") where the library has none.
const char* alErrorText(ALenum code);
// Text of an ALC error code of `device` (which may be null); hexadecimal where the library has none.
const char* alcErrorText(ALCdevice* device, ALCenum code);
}  // namespace tsm::audio
