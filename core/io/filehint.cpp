#include "filehint.h"

#include "boundedread.h"

namespace io {

std::string notVtkXmlHint(const std::string& message) {
  // The readers' message ends with this; the file's name is everything before it (the
  // last match, so a name holding the words changes nothing).
  const std::string marker = ": not well-formed XML (line ";
  const std::size_t at = message.rfind(marker);
  if (at == std::string::npos || at == 0 || message.back() != ')') return "";
  const std::string file = message.substr(0, at);
  // The head is enough: a VTK XML file names its root element within its first lines.
  const BoundedRead head = readHead(file, 4096);
  if (!head.ok() || head.bytes.find("<VTKFile") != std::string::npos) return "";
  return file +
         ": is not a VTK XML file; snapshots (.vtp) and series (.pvd) are what morphseed and morphsweep "
         "write with -v, and a 3DV, template or OBJ file is read by its extension or --format";
}

}  // namespace io
