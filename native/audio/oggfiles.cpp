// Opening Ogg Vorbis files for sounds and music: regular files only, opened without waiting, and the
// check that a chained file's links agree on channels and rate. Allocates nothing of its own.
// Callers: decodeOgg (loadAudio) and playMusic, before anything is decoded.
#include "audio/oggfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tsm::audio {
FILE* openRegularFile(const char* path) {
  // Looked at first, so that a device is never opened; checked again on the opened descriptor,
  // since the path may name something else by then. O_NONBLOCK: a FIFO swapped in meanwhile opens
  // at once instead of waiting for a writer, and is refused by the second check.
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  // Reads of a regular file never wait; the flag goes so the stream behaves as any other.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

int openVorbisFile(const char* path, OggVorbis_File* file) {
  FILE* opened = openRegularFile(path);
  if (!opened) return OV_FALSE;
  const int result = ov_open(opened, file, nullptr, 0);
  // On failure the decoder leaves the file to its opener.
  if (result != 0) std::fclose(opened);
  return result;
}

const char* checkLinkFormats(OggVorbis_File* file) {
  const vorbis_info* first = ov_info(file, 0);
  const long links = ov_streams(file);
  for (long i = 0; i < links; ++i) {
    const vorbis_info* info = ov_info(file, static_cast<int>(i));
    if (!first || !info || info->channels != first->channels || info->rate != first->rate)
      return "chained streams change channels or rate";
  }
  return nullptr;
}
}  // namespace tsm::audio
