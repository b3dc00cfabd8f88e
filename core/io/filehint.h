// What to tell a user whose file was refused for a reason its name hides: a file that the
// snapshot and series readers find to be no XML at all is most likely another kind of file.
#pragma once

#include <string>

namespace io {

// For a reader's message "<file>: not well-formed XML (...)" about a file that does not
// begin as VTK XML (no <VTKFile tag in its head), a hint naming it so; "" otherwise.
std::string notVtkXmlHint(const std::string& message);

}  // namespace io
