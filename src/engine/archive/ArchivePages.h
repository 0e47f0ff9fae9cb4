#pragma once

// The pages of the HTML archive: the list page (index.html), the two pages of each month
// (by thread, by date) and the page of each message. Every page is HTML5 with its language,
// character set, title and viewport, one inline style sheet, a policy that lets nothing run
// or load, and no script.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/archive/ListCharts.h"
#include "engine/archive/MessageBody.h"
#include "engine/archive/MessageFacts.h"
#include "engine/archive/Threading.h"

namespace corvanteer::archive {

// What the pages say of the list.
struct SiteInfo {
    std::string listName;
    std::string description;        // the list's Description section
    std::string listServerAddress;  // where subscription requests go; "" to say nothing
    bool allowUserSubscribe = true;
    bool showAddresses = false;  // HtmlArchiveShowAddresses
    // For the members chart: the net change in each month (MemberChangesFromLog) and the
    // members there are now.
    std::map<std::string, int> memberChanges;
    int membersNow = 0;
};

// One message as the site places it.
struct SiteMessage {
    MessageFacts facts;
    std::string page;  // relative to the root: "msg/<name>.html"
    ThreadLinks links;
    int datePrev = -1;
    int dateNext = -1;
};

// "msg/abc.html" -> "abc".
std::string PageBase(std::string_view page);
// "May 2026" of "2026-05".
std::string MonthTitle(std::string_view month);

// The list page: the list's name, description, how to join and leave by mail, the charts
// of postings per month and members over time, and the months (newest first) with their
// counts.
std::string IndexPage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                      const std::vector<std::string>& months);

// The month's messages (indexes into messages, in date order) as threads, and by date.
std::string MonthThreadsPage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                             std::string_view month, const std::vector<int>& ofMonth,
                             std::string_view previousMonth, std::string_view nextMonth);
std::string MonthDatePage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                          std::string_view month, const std::vector<int>& ofMonth,
                          std::string_view previousMonth, std::string_view nextMonth);

// A message page without its body: its title, and what comes between the page's fixed start
// and the body, and after the body. They depend only on the message's facts and its
// neighbours, so together with the message's hash they tell whether a page must be written
// again.
struct MessageFrame {
    std::string title;
    std::string before;
    std::string after;
};
MessageFrame MessagePageFrame(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                              int index);
// The whole page: the frame around the body and the list of attachments (written into the
// folder named after the page).
std::string MessagePage(const MessageFrame& frame, const SiteMessage& message,
                        const MessageBody& body);

}  // namespace corvanteer::archive
