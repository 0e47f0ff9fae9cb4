#include "transport/HostNames.h"

#include <unistd.h>
#include <climits>

#include "support/Text.h"

namespace corvanteer {

bool IsIPAddress(std::string_view text) {
    SplitResult parts = SplitString(text, ".");
    if (parts.count != 4) {
        return false;
    }
    for (const std::string& part : parts.parts) {
        int value = StrToIntDef(part, -1);
        if (value < 0 || value > 255) {
            return false;
        }
    }
    return true;
}

std::string LocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name) != 0) {
        return {};
    }
    name[HOST_NAME_MAX] = '\0';
    return name;
}

}  // namespace corvanteer
