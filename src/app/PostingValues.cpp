#include "app/PostingValues.h"

#include "app/RosterOperations.h"
#include "engine/bounce/MemberToken.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"

namespace corvanteer {

namespace {

std::string Shown(Services& services, const std::string& key, const char* name) {
    return ReadSettingText(services.store, key, FindSettingOrFail(ListSettingTable(), name),
                           services.paths.appDir);
}

}  // namespace

ManualPosting LoadPostingValues(Services& services, const std::string& list) {
    const std::string key = services.paths.ListKey(list);
    const std::string dataFile = services.paths.ListDataFile(list);
    ManualPosting posting;
    posting.listName = list;
    posting.postingMethod = StrToIntDef(Shown(services, key, "PostingMethod"), 0);
    posting.listTo = Shown(services, key, "ListTo");
    posting.hideSenderEmail = Shown(services, key, "HideSenderEmail") == "1";
    posting.changeSenderEmailTo = Shown(services, key, "ChangeSenderEmailTo");
    posting.listPostingAddress = Shown(services, key, "ListPostingAddress");
    posting.pop3Host = Shown(services, key, "Pop3Host");
    posting.listHeaders = Shown(services, key, "ListHeaders") == "1";
    posting.allowPostBy = StrToIntDef(Shown(services, key, "AllowPostBy"), 0);
    posting.allowUserSubscribe = Shown(services, key, "AllowUserSubscribe") == "1";
    posting.extraHeaders = TextToLines(ReadSection(dataFile, "ExtraHeaders"));
    posting.signature = ReadSection(dataFile, "Signature");
    posting.archiveBaseUrl = Shown(services, key, "ArchiveBaseURL");
    if (Shown(services, key, "BounceProcessing") == "1") {
        posting.memberTokenKey =
            bounce::MemberTokenKey(services.store, services.paths.SettingsKey());
    }
    for (const RosterEntry& entry : FillRoster(services, list).entries) {
        if (!entry.disabled) {  // a member whose mail bounces gets no postings
            posting.members.push_back(entry.address);
        }
    }
    return posting;
}

}  // namespace corvanteer
