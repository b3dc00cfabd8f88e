#include "io/boundedread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace io {

namespace {

BoundedRead readFile(const std::string& path, long long maxBytes, bool headOnly) {
  BoundedRead r;
  // O_NONBLOCK: opening a named pipe for reading would wait for a writer for ever.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    r.fault = ReadFault::cannotOpen;
    r.error = errno;
    return r;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    r.fault = ReadFault::cannotOpen;
    r.error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    r.fault = ReadFault::folder;
  } else if (!S_ISREG(st.st_mode)) {
    r.fault = ReadFault::notRegular;
  } else {
    r.size = static_cast<long long>(st.st_size);
    if (r.size > maxBytes && !headOnly) r.fault = ReadFault::tooLarge;
  }
  if (r.ok()) {
    const std::size_t want = static_cast<std::size_t>(std::min(r.size, maxBytes));
    r.bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
      const ssize_t n = read(fd, r.bytes.data() + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        r.fault = ReadFault::cannotRead;
        r.error = n < 0 ? errno : 0;
        r.bytes.clear();
        break;
      }
      got += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  return r;
}

}  // namespace

BoundedRead readBounded(const std::string& path, long long maxBytes) { return readFile(path, maxBytes, false); }
BoundedRead readHead(const std::string& path, long long maxBytes) { return readFile(path, maxBytes, true); }

}  // namespace io
