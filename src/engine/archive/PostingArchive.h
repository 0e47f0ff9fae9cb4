#pragma once

// Where a posting meets the archive: the archive header lines a posting carries, the copy of
// the distributed posting kept in the list's mbox files, and the HTML archives brought up to
// date after a scan that posted.

#include <string>
#include <string_view>
#include <vector>

#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer::archive {

// The header lines for a list whose archive is published at baseUrl (ArchiveBaseURL):
// "List-Archive: <" + baseUrl + ">" and, when messageId (a Message-ID value) names the
// message, "Archived-At: <" + baseUrl + "/" + its page (MessagePageOf) + ">". None when
// baseUrl is empty or could not stand in a header between angle brackets (a blank, a control
// or 8-bit byte, "<", ">" or a quote): a line it would break is never sent.
Lines ArchiveHeaderLines(std::string_view baseUrl, std::string_view messageId = {});

// Appends the posting as it went out to the list's archive (ArchivePosting). The posting has
// gone already, so a failure does not stop anything: it is logged as "<list>: the posting was
// not archived: <why>" and false returned.
bool KeepDistributedPosting(Services& services, const std::string& listName,
                            std::string_view message, const std::string& envelopeSender);

// Builds the HTML archive (in its own folder) of every list named, once each, whose
// HtmlArchive setting is on; "<list>: the HTML archive could not be built: <why>" is logged
// for one that fails, and the others are built all the same.
void BuildPostedArchives(Services& services, const std::vector<std::string>& listNames);

}  // namespace corvanteer::archive
