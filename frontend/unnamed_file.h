// Temporary files without a name: gone with their last descriptor, whatever
// ends the program.
#pragma once

#include <string>

namespace kzfront {

// A file open for reading and writing in TMPDIR (or /tmp); -1 with `error`
// saying where it could not be made.
int unnamedFile(std::string& error);

}  // namespace kzfront
