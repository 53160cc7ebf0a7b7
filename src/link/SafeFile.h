// Reading and writing the program's own small files (profiles, the network
// settings file) so that nothing is ever replaced that may not be written:
//
// - readers take regular files only; a FIFO, device node or socket is refused
//   at once, without blocking and without being opened for long;
// - writers follow symbolic links (the link stays, its target is written, a
//   dangling link gets its target created), refuse a target that is not a
//   regular file, and leave alone an existing file the user cannot open for
//   writing;
// - the normal write is a unique temporary file beside the target, flushed to
//   disk and renamed over it (the folder flushed too), keeping the file's
//   permissions, owner and group; where that cannot be used (the folder is not
//   writable, the file is a mount point, ownership could not be kept) but the
//   file itself is writable, the file is written in place (truncate, write,
//   flush) and a line on stderr says so;
// - temporary files that a killed writer left beside the target are removed
//   by the next write.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace panora {

struct FileReadResult {
  int errnum = 0;          // errno of the failure; EINVAL for a file that is not regular
  std::uint64_t size = 0;  // the file's size, which may exceed what was read
};

// Reads the regular file `path` (links followed), at most `limit` bytes, into
// `out`. On failure `error` (when given) says which file and why.
bool ReadRegularFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& out,
                     std::string* error = nullptr, FileReadResult* result = nullptr);

struct FileWriteResult {
  bool inPlace = false;  // written in place instead of replaced
  std::string target;    // the file actually written (links followed)
};

// Makes `data` the contents of `path` as described above. A new file gets
// `newMode` (less the umask). On failure the old file is untouched, except
// when an in-place write itself fails, and `error` says which file and why.
bool WriteFileSafely(const std::string& path, std::span<const std::uint8_t> data,
                     std::string* error = nullptr, FileWriteResult* result = nullptr, mode_t newMode = 0666);

// Whether `name` is one of the temporary names WriteFileSafely uses for a
// target called `base` (".base.XXXXXXXX.tmp").
bool IsTempNameFor(const std::string& name, const std::string& base);

}  // namespace panora
