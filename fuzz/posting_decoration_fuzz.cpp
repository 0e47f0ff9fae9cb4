// The signature decoration of postings (mime::DecorateBody) on hostile messages.
//
// Input: a posting (header, empty line, body), "%%", the signature.
//
// Checked (DecorationChecks.h): the decorated message parses with no MIME defect the posting
// did not have; no line over 998 octets that the posting did not carry itself; every original
// part decodes to the same bytes and signed, encrypted and attached messages stay byte for
// byte; a signature that is not blank stands in a text/plain part a mail program shows; and
// the same input always gives the same output.

#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "engine/mime/Decoration.h"
#include "engine/mime/DecorationChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    const std::vector<std::string> parts = fuzz::SplitParts(data, size, 2);
    const mime::DecoratedBody decorated = mime::DecorateBody(parts[0], parts[1]);
    const std::vector<std::string> faults = mime::DecorationFaults(parts[0], parts[1], decorated);
    for (const std::string& fault : faults) {
        fprintf(stderr, "%s\n", fault.c_str());
    }
    FUZZ_CHECK(faults.empty());
    const mime::DecoratedBody again = mime::DecorateBody(parts[0], parts[1]);
    FUZZ_CHECK(again.body == decorated.body && again.fields == decorated.fields);
    return 0;
}
