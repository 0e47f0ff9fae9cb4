#include "support/Status.h"

#include <cstring>

namespace corvanteer {

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Io:
            return "I/O error";
        case ErrorKind::Protocol:
            return "protocol error";
        case ErrorKind::Refused:
            return "refused";
        case ErrorKind::Unavailable:
            return "unavailable";
        case ErrorKind::Format:
            return "format error";
    }
    return "error";
}

void ThrowIoError(const std::string& what, const std::string& path, int error) {
    std::string message = what + " \"" + path + "\"";
    if (error != 0) {
        message += ": ";
        message += std::strerror(error);
    }
    throw Failure(ErrorKind::Io, message);
}

}  // namespace corvanteer
