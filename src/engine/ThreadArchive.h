#pragma once

#include <string>
#include <string_view>

#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

// The subject as a thread knows it: trimmed, one leading "re:" (any case) removed and the
// rest trimmed.
std::string ThreadSubject(std::string_view subject);

// Appends the message (header lines, empty line, body; lines ended by CR LF) to its thread in
// Lists/<list>/threads/: the index file "threads" and "<n>.txt". Takes the store lock (the
// caller must not hold it).
void ArchiveThread(Services& services, const std::string& listName, std::string_view message);

}  // namespace corvanteer
