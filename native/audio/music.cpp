// Streamed music: one Ogg Vorbis file decoded a little at a time into a small ring of OpenAL buffers
// queued on a source taken from the pool, so the reverb and the stop, pause and resume-all commands
// reach it like any sound. Memory stays the same whatever the file's length: the ring, one decode
// chunk and the decoder's own state. The ring is refilled at the start of every tick, at most its
// whole length per tick (a few milliseconds of decoding), never waiting on the device. Nothing here
// runs, and no OpenAL buffer exists, until a host first plays music. Only regular files are opened
// (audio/oggfiles), so a refill never waits in `tick` for input that is not there.
// Callers: the playMusic / stopMusic exports, streamAudio (every tick), closeAudio.
//
// Sections: state | decoding | stream | host calls
#include <vorbis/vorbisfile.h>

#include <cmath>

#include "audio/core/decodeloop.h"
#include "audio/oggfiles.h"
#include "audio/state.h"
#include "base/log.h"
#include "base/words.h"

namespace tsm::audio {
namespace {
// --- state --------------------------------------------------------------------------------------
// Buffers in the ring, and sample frames in each: 6 x 8192 frames is about 1.1 s at 44.1 kHz, so a
// host may stall that long before the music runs dry (it then starts again where it stopped).
constexpr uint32_t MUSIC_RING = 6;
constexpr uint32_t MUSIC_CHUNK_FRAMES = 8192;
// Channels a music file may have (mono or stereo); 16-bit samples.
constexpr int MAX_MUSIC_CHANNELS = 2;

struct Music {
  bool active;          // a stream is open and owns `source`
  bool ended;           // the decoder has nothing more to give (no loop, end reached)
  bool stopRequested;   // a stop command reached `source`
  uint32_t source;
  OggVorbis_File file;
  int channels;
  long rate;
  int64_t loopStart;    // sample frames; -1: no loop
  int64_t loopEnd;      // sample frames; -1: the end of the file
};
Music music = {};
ALuint ring[MUSIC_RING] = {};
bool ringMade = false;
int16_t chunk[MUSIC_CHUNK_FRAMES * MAX_MUSIC_CHANNELS];

// --- decoding -----------------------------------------------------------------------------------

// Goes back to the loop start; false when there is no loop or the stream cannot seek.
bool rewind() {
  if (music.loopStart < 0) return false;
  return ov_pcm_seek(&music.file, music.loopStart) == 0;
}

// Decodes up to one chunk, looping at the loop end. Returns the bytes decoded; sets `ended` when the
// stream has nothing more to give.
long decodeChunk() {
  const long frameBytes = static_cast<long>(music.channels) * 2;
  const long capacity = MUSIC_CHUNK_FRAMES * frameBytes;
  long used = 0;
  uint32_t errors = 0;
  bool rewoundEmpty = false;  // a rewind that yielded nothing before the next: an empty loop
  while (used < capacity && !music.ended) {
    long want = capacity - used;
    if (music.loopEnd >= 0) {
      const int64_t left = music.loopEnd - ov_pcm_tell(&music.file);
      if (left <= 0) {
        if (rewoundEmpty || !rewind()) music.ended = true;
        rewoundEmpty = true;
        continue;
      }
      if (left * frameBytes < want) want = static_cast<long>(left * frameBytes);
    }
    int section = 0;
    const long got = ov_read(&music.file, reinterpret_cast<char*>(chunk) + used, static_cast<int>(want), 0, 2, 1, &section);
    if (got > 0) {
      used += got;
      errors = 0;
      rewoundEmpty = false;
    } else if (got == 0) {
      if (rewoundEmpty || !rewind()) music.ended = true;
      rewoundEmpty = true;
    } else if (got == OV_HOLE && ++errors < MAX_STREAM_ERRORS_IN_A_ROW) {
      continue;  // a damaged page: decoding goes on after it
    } else {
      logError("Music stream ended by a decoding error: %li\n", got);
      music.ended = true;
    }
  }
  return used;
}

// Fills `buffer` with the next chunk and queues it; false when there was nothing left to queue.
bool queueNext(ALuint buffer) {
  const long bytes = decodeChunk();
  if (bytes <= 0) return false;
  alBufferData(buffer, music.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, chunk, static_cast<ALsizei>(bytes),
               static_cast<ALsizei>(music.rate));
  alSourceQueueBuffers(music.source, 1, &buffer);
  return alGetError() == AL_NO_ERROR;
}

// --- stream -------------------------------------------------------------------------------------

// Ends the stream: the source stops and drops its queue (the pool takes it back at the reclaim
// that follows), the file closes.
void release() {
  if (!music.active) return;
  alSourceStop(music.source);
  alSourcei(music.source, AL_BUFFER, 0);
  alGetError();
  ov_clear(&music.file);
  music.active = false;
}
}  // namespace

void noteSourceStopped(uint32_t source) {
  if (music.active && (source == ALL_SOURCES || source == music.source)) music.stopRequested = true;
}

void streamMusic() {
  if (!music.active) return;
  if (music.stopRequested) {
    release();
    return;
  }
  ALint processed = 0, queued = 0, state = AL_INITIAL;
  alGetSourcei(music.source, AL_BUFFERS_PROCESSED, &processed);
  alGetSourcei(music.source, AL_BUFFERS_QUEUED, &queued);
  alGetSourcei(music.source, AL_SOURCE_STATE, &state);
  if (alGetError() != AL_NO_ERROR) {
    release();
    return;
  }
  for (ALint i = 0; i < processed; ++i) {
    ALuint buffer = 0;
    alSourceUnqueueBuffers(music.source, 1, &buffer);
    --queued;
    if (alGetError() != AL_NO_ERROR) break;
    if (!music.ended && queueNext(buffer)) ++queued;
  }
  if (queued <= 0) {
    release();  // played to its end
    return;
  }
  // Stopped without a stop command: the host stalled longer than the ring lasts. Play on.
  if (state == AL_STOPPED) alSourcePlay(music.source);
  alGetError();
}

void closeMusic() {
  release();
  if (ringMade) alDeleteBuffers(MUSIC_RING, ring);
  alGetError();
  ringMade = false;
}

// --- host calls ---------------------------------------------------------------------------------

int32_t playMusic(const char* path, float gain, double loopStart, double loopEnd) {
  release();
  // Loop end 0 or less: the end of the file; otherwise it must lie after the start.
  const bool loops = loopStart >= 0.0;
  if (!std::isfinite(loopStart) || !std::isfinite(loopEnd) || (loops && loopEnd > 0.0 && loopEnd <= loopStart) ||
      !(gain >= 0.0f && std::isfinite(gain))) {
    return OV_EINVAL;
  }
  const int opened = openVorbisFile(path, &music.file);
  if (opened != 0) {
    logError("Music file cannot be read: %i - %s\n", opened, path);
    return opened;
  }
  const vorbis_info* info = ov_info(&music.file, -1);
  if (!info || info->channels < 1 || info->channels > MAX_MUSIC_CHANNELS) {
    logError("Music file has %i channels (1 or 2 play): %s\n", info ? info->channels : 0, path);
    ov_clear(&music.file);
    return OV_EIMPL;
  }
  // Every buffer is queued in the first link's format, and loop points are counted at its rate: a
  // chain whose links change either cannot play as one stream.
  if (const char* why = checkLinkFormats(&music.file)) {
    logError("Music file cannot be played (%s): %s\n", why, path);
    ov_clear(&music.file);
    return OV_EIMPL;
  }
  music.channels = info->channels;
  music.rate = info->rate;
  // Saturating: a finite loop point too large for a frame count gives the largest (past the end of
  // any file shorter than 2^31 frames, 13 hours at 44.1 kHz) instead of an undefined conversion.
  const double rate = static_cast<double>(info->rate);
  music.loopStart = loops ? saturateToInt32(loopStart * rate) : -1;
  music.loopEnd = loops && loopEnd > 0.0 ? saturateToInt32(loopEnd * rate) : -1;
  // A stream that cannot seek plays once.
  if (!ov_seekable(&music.file)) music.loopStart = music.loopEnd = -1;
  music.ended = false;
  music.stopRequested = false;

  uint32_t source = 0;
  if (!takeSource(sourcePool, source) || source == 0) {
    ov_clear(&music.file);
    return 0;
  }
  if (!ringMade) {
    alGenBuffers(MUSIC_RING, ring);
    ringMade = alGetError() == AL_NO_ERROR;
    if (!ringMade) {
      ov_clear(&music.file);
      return 0;  // the source goes back to the pool at the next tick: it never started
    }
  }
  music.source = source;
  music.active = true;
  alSourceStop(source);
  alSourcei(source, AL_BUFFER, 0);
  alSourcef(source, AL_GAIN, gain);
  alSourcef(source, AL_PITCH, 1.0f);
  const float centre[3] = {0.0f, 0.0f, 0.0f};
  alSourcefv(source, AL_POSITION, centre);
  alSourcei(source, AL_LOOPING, AL_FALSE);
  alGetError();
  for (ALuint buffer : ring) {
    if (!queueNext(buffer)) break;
  }
  alSourcePlay(source);
  if (alGetError() != AL_NO_ERROR) logError("Music source did not start\n");
  return static_cast<int32_t>(source);
}

int32_t stopMusic() {
  if (!music.active) return 1;
  release();
  return 0;
}
}  // namespace tsm::audio
