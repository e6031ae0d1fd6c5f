#include "frontend/unnamed_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kzfront {

int unnamedFile(std::string& error) {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir && *dir ? dir : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file system without unnamed files: a named one, unlinked at once.
        std::string path = folder + "/kzrqo317-XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) ::unlink(path.c_str());
    }
    if (fd < 0) error = "cannot make a temporary file in " + folder + " (" + std::strerror(errno) + ")";
    return fd;
}

}  // namespace kzfront
