// Sound loading: fills the sound table from raw PCM the host holds (initALBuffer) or from an Ogg
// Vorbis file decoded whole (loadAudio, decodeOgg). Each load generates a new OpenAL buffer for its
// sound id and releases the one it replaces; sounds are never streamed. Host functions, called by the host between steps; the
// decode loop and the channel shaping are in core/ (decodeloop, pcm).
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>

#include "audio/core/decodeloop.h"
#include "audio/core/pcm.h"
#include "audio/state.h"
#include "bridge/args.h"
#include "bridge/core/check.h"
#include "bridge/core/log.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";

static_assert(FORMAT_MONO8 == AL_FORMAT_MONO8 && FORMAT_MONO16 == AL_FORMAT_MONO16 &&
              FORMAT_STEREO8 == AL_FORMAT_STEREO8 && FORMAT_STEREO16 == AL_FORMAT_STEREO16);
static_assert(STREAM_EINVAL == OV_EINVAL);

// Releases the buffer a sound id held before it was loaded again. OpenAL refuses to delete a buffer
// that any source still holds (a stopped one included), so every source of the pool holding it is
// stopped and detached first: a reload cuts the old sound off where it plays, and that source comes
// back to the pool at the next tick like any other that stopped.
void releaseBuffer(ALuint buffer) {
  if (buffer == 0) return;
  const uint32_t* lists[2] = {sourcePool.playingSources, sourcePool.freeSources};
  const uint32_t counts[2] = {sourcePool.playingCount, sourcePool.freeCount};
  for (int l = 0; l < 2; ++l) {
    for (uint32_t i = 0; i < counts[l]; ++i) {
      const ALuint source = lists[l][i];
      if (source == 0) continue;
      ALint held = 0;
      alGetSourcei(source, AL_BUFFER, &held);
      if (alGetError() != AL_NO_ERROR || static_cast<ALuint>(held) != buffer) continue;
      alSourceStop(source);
      alSourcei(source, AL_BUFFER, 0);
    }
  }
  alDeleteBuffers(1, &buffer);
  // Nothing to report to the host: the new sound is in place either way.
  alGetError();
}

// Buffers `bytes` of PCM into a new OpenAL buffer for sound `id`, then releases the buffer the id
// held before. On an error the new buffer is deleted and the entry cleared, so the id plays nothing
// rather than whatever later takes the freed name. Returns the OpenAL error code, 0 when none.
ALenum bufferSound(uint32_t id, ALenum format, const void* data, uint64_t bytes, ALsizei sampleRate,
                   const char* errorFormat) {
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  // A size OpenAL cannot take is passed as -1, which it refuses, rather than wrapped to a smaller one.
  const ALsizei size = bytes > 0x7fffffffu ? -1 : static_cast<ALsizei>(bytes);
  alBufferData(buffer, format, data, size, sampleRate);
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) {
    logError(errorFormat, alErrorText(error));
    if (buffer != 0 && alIsBuffer(buffer)) alDeleteBuffers(1, &buffer);
    buffer = 0;
  }
  releaseBuffer(alBuffers[id]);
  alBuffers[id] = buffer;
  return error;
}

napi_value makeStatus(napi_env env, int32_t value) {
  napi_value result;
  napi_status status = napi_create_int32(env, value, &result);
  CHECK(status == napi_ok && "Unable to create int");
  return result;
}

// The decoder behind the decode loop: little-endian samples of `wordSize` bytes, signed when 16-bit.
struct VorbisStream {
  OggVorbis_File file;
  int wordSize;
};

long readVorbis(void* context, uint8_t* out, int32_t length, int* section) {
  auto* stream = static_cast<VorbisStream*>(context);
  return ov_read(&stream->file, reinterpret_cast<char*>(out), length, 0, stream->wordSize, stream->wordSize == 2,
                 section);
}

// Refuses a sound whose PCM cannot be held: logged, nothing buffered, the sound table unchanged.
int32_t refuseSound(VorbisStream& stream, uint8_t* data, bool tooLarge, const char* path) {
  if (tooLarge)
    logError(" !Sound longer than %llu bytes of PCM: %s\n", static_cast<unsigned long long>(MAX_SOUND_BYTES), path);
  else
    logError(" !Out of memory for the PCM of %s\n", path);
  std::free(data);
  ov_clear(&stream.file);
  return 1;
}
}  // namespace

// --- decodeOgg ----------------------------------------------------------------------------------

int32_t decodeOgg(const char* path, uint32_t id, uint32_t wordSize, uint32_t channels) {
  CHECK(id < alBufferCount);
  const int32_t format = chooseFormat(wordSize, channels);
  if (format == 0) return -1;

  VorbisStream stream;
  stream.wordSize = static_cast<int>(wordSize);
  const int opened = ov_fopen(path, &stream.file);
  if (opened < 0) {
    logError("File does not appear to be an Ogg bitstream: %i - %s\n", opened, path);
    return 1;
  }
  const vorbis_info* info = ov_info(&stream.file, -1);
  const uint32_t fileChannels = info && info->channels > 0 ? static_cast<uint32_t>(info->channels) : 1;
  const ALsizei sampleRate = info ? static_cast<ALsizei>(info->rate) : 0;
  const ogg_int64_t frames = ov_pcm_total(&stream.file, -1);
  if (fileChannels < channels) logError("  Cannot handle copying channels for mono->stereo yet\n");

  // A stream whose length cannot be known (not seekable) is decoded into a block that grows; a
  // known length sizes one block for both the decoded and the converted frames.
  const bool growable = frames < 0;
  PcmBlock block = {nullptr, 0, 0};
  uint64_t blockBytes = 0;
  if (!growable) {
    blockBytes = soundBlockBytes(frames, fileChannels, channels, wordSize);
    if (blockBytes == 0) return refuseSound(stream, nullptr, true, path);
    block.data = static_cast<uint8_t*>(std::malloc(blockBytes));
    if (!block.data) return refuseSound(stream, nullptr, false, path);
    block.capacity = static_cast<uint64_t>(frames) * fileChannels * wordSize;
  }

  int section = -1;
  const DecodeEnd end = decodeStream(readVorbis, &stream, block, growable, section);
  bool tooLarge = end == DecodeEnd::TOO_LARGE;
  bool noMemory = end == DecodeEnd::OUT_OF_MEMORY;
  if (growable) blockBytes = block.capacity;
  if (growable && !tooLarge && !noMemory && block.used > 0) {
    // Room for the converted frames, which may be wider than the decoded ones.
    const uint64_t decodedFrames = block.used / (uint64_t{fileChannels} * wordSize);
    const uint64_t needed = soundBlockBytes(static_cast<int64_t>(decodedFrames), fileChannels, channels, wordSize);
    if (needed == 0) {
      tooLarge = true;
    } else if (needed > blockBytes) {
      auto* grown = static_cast<uint8_t*>(std::realloc(block.data, needed));
      noMemory = grown == nullptr;
      if (grown) {
        block.data = grown;
        blockBytes = needed;
      }
    }
  }
  if (tooLarge || noMemory) return refuseSound(stream, block.data, tooLarge, path);

  if (block.used == 0) logError(" !Didn't write anything? %i\n", section);
  const uint64_t bytes = convertChannels(block.data, block.used, blockBytes, fileChannels, channels, wordSize);
  const ALenum error = bufferSound(id, format, block.data, bytes, sampleRate, " !OpenAL Error buffering data: %s\n");
  std::free(block.data);
  ov_clear(&stream.file);
  return error;
}

// --- host functions -----------------------------------------------------------------------------

napi_value initALBuffer(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  const uint32_t id = bridge::toU32(env, args[0], checkModule);
  CHECK(id < alBufferCount);

  bool isBuffer = false;
  napi_status status = napi_is_buffer(env, args[1], &isBuffer);
  CHECK(status == napi_ok);
  CHECK(isBuffer && "Isn't a buffer?");
  void* data = nullptr;
  size_t length = 0;
  status = napi_get_buffer_info(env, args[1], &data, &length);
  CHECK(status == napi_ok && "Unable to get buffer info");

  napi_valuetype vtype;
  status = napi_typeof(env, args[2], &vtype);
  CHECK(status == napi_ok);
  CHECK(vtype == napi_number && "format not number");
  uint32_t format = 0;
  status = napi_get_value_uint32(env, args[2], &format);
  CHECK(status == napi_ok && "Unable to get format");

  status = napi_typeof(env, args[3], &vtype);
  CHECK(status == napi_ok);
  CHECK(vtype == napi_number && "sampleRate not number");
  uint32_t sampleRate = 0;
  status = napi_get_value_uint32(env, args[3], &sampleRate);
  CHECK(status == napi_ok && "Unable to get sampleRate");

  // A rate beyond OpenAL's signed size is passed as -1, which it refuses.
  const ALsizei rate = sampleRate > 0x7fffffffu ? -1 : static_cast<ALsizei>(sampleRate);
  const ALenum error = bufferSound(id, static_cast<ALenum>(format), data, length, rate,
                                   "OpenAL Error buffering data: %s\n");
  return makeStatus(env, error);
}

napi_value loadAudio(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  const uint32_t id = bridge::toU32(env, args[0], checkModule);
  CHECK(id < alBufferCount);

  napi_valuetype vtype;
  napi_status status = napi_typeof(env, args[1], &vtype);
  CHECK(status == napi_ok);
  CHECK(vtype == napi_string && "path not string");
  size_t pathBytes = 0;
  status = napi_get_value_string_utf8(env, args[1], nullptr, 0, &pathBytes);
  CHECK(status == napi_ok && "Unable to get path");
  char* path = static_cast<char*>(std::malloc(pathBytes + 1));
  CHECK(path && "Out of memory");
  status = napi_get_value_string_utf8(env, args[1], path, pathBytes + 1, &pathBytes);
  CHECK(status == napi_ok && "Unable to get path");

  status = napi_typeof(env, args[2], &vtype);
  CHECK(status == napi_ok);
  CHECK(vtype == napi_number && "wordSize not number");
  uint32_t wordSize = 0;
  status = napi_get_value_uint32(env, args[2], &wordSize);
  CHECK(status == napi_ok && "Unable to get wordSize");

  status = napi_typeof(env, args[3], &vtype);
  CHECK(status == napi_ok);
  CHECK(vtype == napi_number && "channels not number");
  uint32_t channels = 0;
  status = napi_get_value_uint32(env, args[3], &channels);
  CHECK(status == napi_ok && "Unable to get channels");

  int32_t result;
  if (chooseFormat(wordSize, channels) != 0 && std::strlen(path) != pathBytes) {
    // A path with a NUL inside names no file: opening it would open the file named by its prefix.
    logError("File does not appear to be an Ogg bitstream: %i - %s\n", OV_FALSE, path);
    result = 1;
  } else {
    result = decodeOgg(path, id, wordSize, channels);
  }
  std::free(path);
  return makeStatus(env, result);
}
}  // namespace tsm::audio
