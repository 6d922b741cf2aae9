// Sound loading: fills the sound table from raw PCM the host holds (bufferPcm, for initALBuffer) or
// from an Ogg Vorbis file decoded whole (loadSound and decodeOgg, for loadAudio). Each load generates
// a new OpenAL buffer for its sound id and releases the one it replaces; sounds are never streamed.
// Called by the host functions (audio/audioapi) between steps. Only regular files are opened
// (audio/oggfiles): a load never waits on a FIFO or a device.
//
// A file is checked before it is decoded: every link's headers (core/vorbissetup) and that its
// links agree on channels and rate; what cannot be checked ahead (the later links of an unseekable
// stream, a decoder that fails to set itself up) ends decoding when it is met. Either way the file
// is refused with a line and the id keeps its sound. A sound of known length is decoded straight
// into the OpenAL buffer's own storage where the library can map it, otherwise into a block of
// our own that OpenAL copies. The decode loop and the channel shaping are in core/ (decodeloop, pcm).
//
// Sections: buffers | decoding | mapped buffers | decodeOgg | loading
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/core/decodeloop.h"
#include "audio/core/pcm.h"
#include "audio/core/vorbissetup.h"
#include "audio/oggfiles.h"
#include "audio/state.h"
#include "base/check.h"
#include "base/log.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";

static_assert(FORMAT_MONO8 == AL_FORMAT_MONO8 && FORMAT_MONO16 == AL_FORMAT_MONO16 &&
              FORMAT_STEREO8 == AL_FORMAT_STEREO8 && FORMAT_STEREO16 == AL_FORMAT_STEREO16);
static_assert(STREAM_EINVAL == OV_EINVAL);

// --- buffers ------------------------------------------------------------------------------------

// Bytes of a released sound from which the allocator is asked to return free pages to the system.
constexpr uint32_t TRIM_AFTER_BYTES = 1u << 20;

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
  ALint size = 0;
  alGetBufferi(buffer, AL_SIZE, &size);
  alDeleteBuffers(1, &buffer);
  // Nothing to report to the host: the new sound is in place either way.
  alGetError();
  // The allocator keeps a large freed block for the next one of its size, so a reloaded sound would
  // hold its memory twice from then on; its pages go back to the system instead.
  if (size >= static_cast<ALint>(TRIM_AFTER_BYTES)) malloc_trim(0);
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

// --- decoding ---------------------------------------------------------------------------------

// Bytes of the area a file's frames are decoded into when they must be reshaped (a stereo file
// loaded as mono, a mono file as stereo) before they reach the sound: one area, reused by every load.
constexpr uint32_t DECODE_SCRATCH_BYTES = 64 * 1024;
// Bytes read from the file at a time when its header packets are checked.
constexpr size_t HEADER_READ_BYTES = 4096;
// Bytes of a link read at most to find its three header packets.
constexpr uint64_t MAX_HEADER_SCAN_BYTES = uint64_t{16} << 20;

alignas(8) uint8_t decodeScratch[DECODE_SCRATCH_BYTES];

// Pages of a fresh sound's storage are made present a window at a time just ahead of the decoder,
// backed by huge pages where the kernel has them, instead of one page fault per 4 KiB as it writes:
// measured under virtualisation, those faults cost about a third of the decoding itself. A window
// at a time, so that a file claiming more frames than it holds costs no more than two windows.
// Only whole pages inside the storage are touched, and pages already present keep their contents;
// where the kernel cannot do it, the pages simply fault in as written.
constexpr uintptr_t PREFAULT_WINDOW_BYTES = uintptr_t{2} << 20;

struct Prefault {
  uintptr_t next;  // first page not made present yet
  uintptr_t end;   // end of the last whole page of the storage
};

Prefault startPrefault(void* data, uint64_t bytes) {
  Prefault p = {0, 0};
#if defined(MADV_POPULATE_WRITE) && defined(MADV_HUGEPAGE)
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0) return p;
  const uintptr_t page = static_cast<uintptr_t>(pageSize);
  const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
  if (end <= start) return p;
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  p = {start, end};
#else
  (void)data;
  (void)bytes;
#endif
  return p;
}

// Keeps at least one window present ahead of `writeAt`.
void prefaultAhead(Prefault& p, const uint8_t* writeAt) {
#if defined(MADV_POPULATE_WRITE)
  if (p.next >= p.end || reinterpret_cast<uintptr_t>(writeAt) + PREFAULT_WINDOW_BYTES <= p.next) return;
  uintptr_t to = (p.next + PREFAULT_WINDOW_BYTES) & ~(PREFAULT_WINDOW_BYTES - 1);
  if (to > p.end) to = p.end;
  madvise(reinterpret_cast<void*>(p.next), to - p.next, MADV_POPULATE_WRITE);
  p.next = to;
#else
  (void)p;
  (void)writeAt;
#endif
}

// The decoder behind the decode loop: little-endian samples of `wordSize` bytes, signed when
// 16-bit, in frames of `channels` channels whatever the file holds.
struct VorbisStream {
  OggVorbis_File file;
  int wordSize;
  uint32_t fileChannels;
  uint32_t channels;
  long rate;
  int section;         // the decoder's link of the last read (the decode loop's)
  int checkedLink;     // the link whose channels and rate were last compared with the first's
  const char* refusal; // why decoding stopped for good, or null
  Prefault prefault;   // of a block of known length; empty otherwise
};

long readVorbis(void* context, uint8_t* out, int32_t length, int* section) {
  auto* stream = static_cast<VorbisStream*>(context);
  const bool isSigned = stream->wordSize == 2;
  prefaultAhead(stream->prefault, out);
  long n;
  if (stream->fileChannels == stream->channels) {
    n = ov_read(&stream->file, reinterpret_cast<char*>(out), length, 0, stream->wordSize, isSigned, section);
  } else {
    const uint32_t inFrame = stream->fileChannels * static_cast<uint32_t>(stream->wordSize);
    const uint32_t outFrame = stream->channels * static_cast<uint32_t>(stream->wordSize);
    uint32_t frames = static_cast<uint32_t>(length) / outFrame;
    if (frames > DECODE_SCRATCH_BYTES / inFrame) frames = DECODE_SCRATCH_BYTES / inFrame;
    // No room for a frame: the decoder's own answer to such a request.
    if (frames == 0) return STREAM_EINVAL;
    n = ov_read(&stream->file, reinterpret_cast<char*>(decodeScratch), static_cast<int>(frames * inFrame), 0,
                stream->wordSize, isSigned, section);
    if (n > 0) {
      n = static_cast<long>(convertFrames(decodeScratch, static_cast<uint64_t>(n), out, stream->fileChannels,
                                          stream->channels, static_cast<uint32_t>(stream->wordSize)));
    }
  }
  if (n == OV_EBADLINK) {
    // The decoder could not be set up for this link. Reading again would decode with the half-built
    // set-up (empty codebooks: a division by zero), so the stream ends here.
    stream->refusal = "the decoder could not be set up";
    return STREAM_EINVAL;
  }
  if (n > 0 && *section != stream->checkedLink) {
    // A new link of a chained stream that could not be checked before decoding (an unseekable one).
    const vorbis_info* info = ov_info(&stream->file, -1);
    if (!info || static_cast<uint32_t>(info->channels) != stream->fileChannels || info->rate != stream->rate) {
      stream->refusal = "chained streams change channels or rate";
      return STREAM_EINVAL;
    }
    stream->checkedLink = *section;
  }
  return n;
}

// Reads the three header packets of one link (serial number `serial`, starting at byte `offset` of
// `file`) and checks them. Null when the decoder can be given them safely, else why not.
const char* checkLinkHeaders(FILE* file, ogg_int64_t offset, long serial) {
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return "its headers cannot be read";
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_sync_init(&sync);
  ogg_stream_init(&stream, static_cast<int>(serial));
  const char* why = "its headers cannot be read";
  VorbisIdent ident = {0, 0};
  int packets = 0;
  bool damaged = false;
  uint64_t scanned = 0;
  while (packets < 3 && !damaged && scanned < MAX_HEADER_SCAN_BYTES) {
    ogg_page page;
    const int got = ogg_sync_pageout(&sync, &page);
    if (got == 0) {
      char* buffer = ogg_sync_buffer(&sync, HEADER_READ_BYTES);
      const size_t n = buffer ? std::fread(buffer, 1, HEADER_READ_BYTES, file) : 0;
      if (n == 0) break;
      ogg_sync_wrote(&sync, static_cast<long>(n));
      scanned += n;
      continue;
    }
    if (got < 0 || ogg_page_serialno(&page) != static_cast<int>(serial)) continue;
    ogg_stream_pagein(&stream, &page);
    ogg_packet packet;
    int out;
    while (packets < 3 && (out = ogg_stream_packetout(&stream, &packet)) != 0) {
      if (out < 0) continue;
      const auto* bytes = static_cast<const uint8_t*>(packet.packet);
      const size_t size = static_cast<size_t>(packet.bytes);
      if (packets == 0 && !readVorbisIdent(bytes, size, ident)) {
        why = "its identification header is damaged";
        damaged = true;
        break;
      }
      if (packets == 2) why = checkVorbisSetup(bytes, size, ident.channels);
      ++packets;
    }
  }
  ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return why;
}

// Checks an opened stream before anything is decoded: every link has the first one's channels and
// rate, and, where the file can be read again from each link's start, every link's headers pass
// the checks of vorbissetup. Null when the stream may be decoded, else why not. An unseekable
// stream's later links are checked as they arrive (readVorbis) and their faults contained there.
const char* checkStream(const char* path, VorbisStream& stream) {
  OggVorbis_File& vf = stream.file;
  if (const char* why = checkLinkFormats(&vf)) return why;
  if (!ov_seekable(&vf) || !vf.offsets || !vf.serialnos) return nullptr;
  const long links = ov_streams(&vf);
  FILE* file = openRegularFile(path);
  if (!file) return "its headers cannot be read";
  const char* why = nullptr;
  for (long i = 0; i < links && !why; ++i) why = checkLinkHeaders(file, vf.offsets[i], vf.serialnos[i]);
  std::fclose(file);
  return why;
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

// Refuses a stream that cannot be decoded safely: logged, nothing buffered, the sound table unchanged.
int32_t refuseStream(VorbisStream& stream, uint8_t* data, const char* why, const char* path) {
  logError(" !Vorbis stream cannot be decoded (%s): %s\n", why, path);
  std::free(data);
  ov_clear(&stream.file);
  return 1;
}

// --- mapped buffers -------------------------------------------------------------------------------
// OpenAL Soft lets a buffer's own storage be written in place (AL_SOFTX_map_buffer): a sound of
// known length is decoded straight into it, with no block of our own and no copy. Where the
// library lacks it, sounds are decoded into a block and copied in by alBufferData.

// The extension's access flags and entry points (not in the installed headers while experimental).
using MapFlags = unsigned int;
constexpr MapFlags MAP_WRITE_BIT = 0x2;
constexpr MapFlags PRESERVE_DATA_BIT = 0x8;
using BufferStorageFn = void(AL_APIENTRY*)(ALuint, ALenum, const ALvoid*, ALsizei, ALsizei, MapFlags);
using MapBufferFn = void*(AL_APIENTRY*)(ALuint, ALsizei, ALsizei, MapFlags);
using UnmapBufferFn = void(AL_APIENTRY*)(ALuint);

struct MappedBuffers {
  BufferStorageFn storage;
  MapBufferFn map;
  UnmapBufferFn unmap;
};

// The entry points of the current context's library; all null where it lacks the extension.
MappedBuffers mappedBuffers() {
  MappedBuffers m = {nullptr, nullptr, nullptr};
  if (!alIsExtensionPresent("AL_SOFTX_map_buffer")) {
    alGetError();
    return m;
  }
  m.storage = reinterpret_cast<BufferStorageFn>(alGetProcAddress("alBufferStorageSOFT"));
  m.map = reinterpret_cast<MapBufferFn>(alGetProcAddress("alMapBufferSOFT"));
  m.unmap = reinterpret_cast<UnmapBufferFn>(alGetProcAddress("alUnmapBufferSOFT"));
  if (!m.storage || !m.map || !m.unmap) m = {nullptr, nullptr, nullptr};
  return m;
}

enum class MappedEnd { DONE, NOT_MAPPED, OUT_OF_MEMORY };

// Decodes `bytes` of PCM (the stream's whole known length) straight into a new buffer's storage.
// NOT_MAPPED when the library would not map one (nothing decoded, nothing changed); otherwise the
// stream was read and `result` is loadAudio's result: the buffer is installed under `id`, or the
// stream refused, or an OpenAL error reported with the id left empty.
MappedEnd decodeMapped(const MappedBuffers& m, VorbisStream& stream, uint32_t id, ALenum format, uint64_t bytes,
                       const char* path, int32_t& result) {
  const ALsizei size = static_cast<ALsizei>(bytes);
  const ALsizei rate = static_cast<ALsizei>(stream.rate);
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  m.storage(buffer, format, nullptr, size, rate, MAP_WRITE_BIT);
  ALenum error = alGetError();
  void* data = error == AL_NO_ERROR ? m.map(buffer, 0, size, MAP_WRITE_BIT) : nullptr;
  if (!data) {
    if (error == AL_NO_ERROR) error = alGetError();
    if (buffer != 0 && alIsBuffer(buffer)) alDeleteBuffers(1, &buffer);
    alGetError();
    return error == AL_OUT_OF_MEMORY ? MappedEnd::OUT_OF_MEMORY : MappedEnd::NOT_MAPPED;
  }
  stream.prefault = startPrefault(data, bytes);
  PcmBlock block = {static_cast<uint8_t*>(data), bytes, 0};
  // Every end keeps what was read, as for a block of our own; only a refusal drops it.
  decodeStream(readVorbis, &stream, block, false, stream.section);
  m.unmap(buffer);
  if (stream.refusal) {
    alDeleteBuffers(1, &buffer);
    alGetError();
    result = refuseStream(stream, nullptr, stream.refusal, path);
    return MappedEnd::DONE;
  }
  if (block.used == 0) logError(" !Didn't write anything? %i\n", stream.section);
  // A stream shorter than its stated length (holes, a damaged end) keeps only what was decoded.
  if (block.used < bytes) m.storage(buffer, format, nullptr, static_cast<ALsizei>(block.used), rate, MAP_WRITE_BIT | PRESERVE_DATA_BIT);
  error = alGetError();
  if (error != AL_NO_ERROR) {
    logError(" !OpenAL Error buffering data: %s\n", alErrorText(error));
    alDeleteBuffers(1, &buffer);
    alGetError();
    buffer = 0;
  }
  releaseBuffer(alBuffers[id]);
  alBuffers[id] = buffer;
  ov_clear(&stream.file);
  result = error;
  return MappedEnd::DONE;
}
}  // namespace

// --- decodeOgg ----------------------------------------------------------------------------------

int32_t decodeOgg(const char* path, uint32_t id, uint32_t wordSize, uint32_t channels) {
  CHECK(id < alBufferCount);
  const int32_t format = chooseFormat(wordSize, channels);
  if (format == 0) return -1;

  VorbisStream stream;
  stream.wordSize = static_cast<int>(wordSize);
  stream.channels = channels;
  stream.section = -1;
  stream.checkedLink = -1;
  stream.refusal = nullptr;
  stream.prefault = {0, 0};
  const int opened = openVorbisFile(path, &stream.file);
  if (opened < 0) {
    logError("File does not appear to be an Ogg bitstream: %i - %s\n", opened, path);
    return 1;
  }
  const vorbis_info* info = ov_info(&stream.file, -1);
  stream.fileChannels = info && info->channels > 0 ? static_cast<uint32_t>(info->channels) : 1;
  stream.rate = info ? info->rate : 0;
  if (const char* why = checkStream(path, stream)) return refuseStream(stream, nullptr, why, path);
  const ogg_int64_t frames = ov_pcm_total(&stream.file, -1);
  // Hosts still get this line for every mono file loaded as stereo; the conversion that follows
  // (readVorbis through convertFrames, each sample into both channels) is this project's own.
  if (stream.fileChannels < channels) logError("  Cannot handle copying channels for mono->stereo yet\n");

  // A known length sizes the sound before decoding; the bound counts the file's frames as well as
  // the converted ones, as when both were held in one block.
  const bool growable = frames < 0;
  uint64_t bytes = 0;
  if (!growable) {
    if (soundBlockBytes(frames, stream.fileChannels, channels, wordSize) == 0) return refuseSound(stream, nullptr, true, path);
    bytes = static_cast<uint64_t>(frames) * channels * wordSize;
    const MappedBuffers m = bytes > 0 ? mappedBuffers() : MappedBuffers{nullptr, nullptr, nullptr};
    if (m.storage) {
      int32_t result = 0;
      const MappedEnd end = decodeMapped(m, stream, id, format, bytes, path, result);
      if (end == MappedEnd::DONE) return result;
      if (end == MappedEnd::OUT_OF_MEMORY) return refuseSound(stream, nullptr, false, path);
    }
  }

  // Otherwise into a block of our own: sized from the length, or growing for an unseekable stream.
  PcmBlock block = {nullptr, 0, 0};
  if (!growable) {
    const uint64_t blockBytes = bytes < MIN_SOUND_BLOCK_BYTES ? MIN_SOUND_BLOCK_BYTES : bytes;
    block.data = static_cast<uint8_t*>(std::malloc(blockBytes));
    if (!block.data) return refuseSound(stream, nullptr, false, path);
    block.capacity = bytes;
    stream.prefault = startPrefault(block.data, bytes);
  }
  const DecodeEnd end = decodeStream(readVorbis, &stream, block, growable, stream.section);
  if (stream.refusal) return refuseStream(stream, block.data, stream.refusal, path);
  bool tooLarge = end == DecodeEnd::TOO_LARGE;
  const bool noMemory = end == DecodeEnd::OUT_OF_MEMORY;
  if (growable && !tooLarge && !noMemory) {
    // The same bound as for a known length: the file's frames as decoded must fit as well.
    const uint64_t decodedFrames = block.used / (uint64_t{channels} * wordSize);
    tooLarge = soundBlockBytes(static_cast<int64_t>(decodedFrames), stream.fileChannels, channels, wordSize) == 0;
  }
  if (tooLarge || noMemory) return refuseSound(stream, block.data, tooLarge, path);

  if (block.used == 0) logError(" !Didn't write anything? %i\n", stream.section);
  const ALenum error = bufferSound(id, format, block.data ? block.data : decodeScratch, block.used,
                                   static_cast<ALsizei>(stream.rate), " !OpenAL Error buffering data: %s\n");
  std::free(block.data);
  ov_clear(&stream.file);
  return error;
}

// --- loading ------------------------------------------------------------------------------------

int32_t bufferPcm(uint32_t id, const void* data, size_t bytes, uint32_t format, uint32_t sampleRate) {
  // A rate beyond OpenAL's signed size is passed as -1, which it refuses.
  const ALsizei rate = sampleRate > 0x7fffffffu ? -1 : static_cast<ALsizei>(sampleRate);
  return bufferSound(id, static_cast<ALenum>(format), data, bytes, rate, "OpenAL Error buffering data: %s\n");
}

int32_t loadSound(uint32_t id, const char* path, size_t pathBytes, uint32_t wordSize, uint32_t channels) {
  if (chooseFormat(wordSize, channels) != 0 && std::strlen(path) != pathBytes) {
    // A path with a NUL inside names no file: opening it would open the file named by its prefix.
    logError("File does not appear to be an Ogg bitstream: %i - %s\n", OV_FALSE, path);
    return 1;
  }
  return decodeOgg(path, id, wordSize, channels);
}
}  // namespace tsm::audio
