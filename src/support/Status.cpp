#include "support/Status.h"

#include <cstring>

namespace corvanteer {

void ThrowIoError(const std::string& what, const std::string& path, int error) {
    std::string message = what + " \"" + path + "\"";
    if (error != 0) {
        message += ": ";
        message += std::strerror(error);
    }
    throw Failure(ErrorKind::Io, message);
}

}  // namespace corvanteer
