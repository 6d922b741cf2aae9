// PCM shaping for sound loading: the OpenAL format for a (word size, channel count) pair, the size
// of the block a decoded file needs, and the channel conversion between what a file holds and what
// the host asked for. Pure: no decoder and no OpenAL here; the sound loader calls these.
#pragma once
#include <cstdint>

namespace tsm::audio {
// The four sample formats, numerically equal to OpenAL's AL_FORMAT_* enumerants (the loader checks
// that they agree). 8-bit samples are unsigned, 16-bit samples signed little-endian; stereo frames
// are interleaved left, right.
constexpr int32_t FORMAT_MONO8 = 0x1100;
constexpr int32_t FORMAT_MONO16 = 0x1101;
constexpr int32_t FORMAT_STEREO8 = 0x1102;
constexpr int32_t FORMAT_STEREO16 = 0x1103;

// Largest PCM block one decoded sound may take, in bytes. A file whose decoded size would exceed it
// is refused; it also keeps every byte count inside OpenAL's and the decoder's 32-bit lengths.
constexpr uint64_t MAX_SOUND_BYTES = uint64_t{1} << 30;
// Smallest PCM block ever allocated, so an empty stream still gets a valid block.
constexpr uint64_t MIN_SOUND_BLOCK_BYTES = 8;

// Format for `wordSize` bytes per sample and `channels` channels; 0 for any pair other than
// (1, 1), (1, 2), (2, 1), (2, 2).
int32_t chooseFormat(uint32_t wordSize, uint32_t channels);

// Bytes of the block that holds `frames` frames both as decoded (`fileChannels` per frame) and as
// converted (`channels` per frame), at least MIN_SOUND_BLOCK_BYTES; 0 when that exceeds
// MAX_SOUND_BYTES or an argument is out of range (negative frames, no channels, no word size).
uint64_t soundBlockBytes(int64_t frames, uint32_t fileChannels, uint32_t channels, uint32_t wordSize);

// Copies the whole frames among `bytes` at `in` (`fileChannels` channels) to `out` as frames of
// `channels` channels and returns the bytes written: channel c of a frame is the file's channel c,
// or its first channel where the file has no channel c (a mono file made stereo plays in both).
// `out` holds the converted frames; `in` and `out` do not overlap. A trailing partial frame is dropped.
uint64_t convertFrames(const uint8_t* in, uint64_t bytes, uint8_t* out, uint32_t fileChannels, uint32_t channels,
                       uint32_t wordSize);
}  // namespace tsm::audio
