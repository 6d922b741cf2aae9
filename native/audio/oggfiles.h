// Opening Ogg Vorbis files for sound loading (audio/sounds) and music (audio/music): only regular
// files are opened, so that neither ever waits on a FIFO, a terminal or a device, and a chained file
// is checked to keep one format. Reading and decoding stay with the callers.
#pragma once
#include <vorbis/vorbisfile.h>

#include <cstdio>

namespace tsm::audio {
// Opens `path` for binary reading when it names a regular file; null when it is missing, unreadable
// or anything else (a FIFO, a device, a directory). Never waits, even on a FIFO with no writer.
FILE* openRegularFile(const char* path);

// ov_fopen for regular files only: 0 with `file` open (ov_clear closes it), or the decoder's
// negative code, OV_FALSE (-1) when the path names no readable regular file.
int openVorbisFile(const char* path, OggVorbis_File* file);

// Null when every link of an opened file has the first link's channels and rate, else why not (the
// text of a refusal line). A file that changes format part-way cannot be played as one stream.
const char* checkLinkFormats(OggVorbis_File* file);
}  // namespace tsm::audio
