// Reading a whole input file without trusting its name: opened so that a named pipe or a
// device cannot block the open, checked to be a regular file of a bounded size before a
// byte is read, and read no further than the size it had when checked.
#pragma once

#include <string>

namespace io {

enum class ReadFault {
  none,
  cannotOpen,  // errno tells why
  folder,      // a directory
  notRegular,  // a named pipe, socket or device
  tooLarge,    // larger than allowed; size holds its length
  cannotRead,  // a read failed or the file shrank while read
};

struct BoundedRead {
  std::string bytes;
  ReadFault fault = ReadFault::none;
  int error = 0;       // errno, for cannotOpen and cannotRead
  long long size = 0;  // the file's length when checked
  bool ok() const { return fault == ReadFault::none; }
};

// The whole file, refused when longer than maxBytes.
BoundedRead readBounded(const std::string& path, long long maxBytes);
// At most the first maxBytes of the file, for a reader that needs only its head.
BoundedRead readHead(const std::string& path, long long maxBytes);

}  // namespace io
