#include "engine/archive/ArchivePages.h"

#include <array>
#include <map>

#include "engine/ListHeaders.h"
#include "engine/archive/HtmlText.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

// Nothing may run, load or be sent from a page: no script, no remote content, no forms.
constexpr const char* kPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";

constexpr const char* kStyle =
    ":root{color-scheme:light dark}"
    "body{font-family:system-ui,sans-serif;line-height:1.5;max-width:52rem;margin:0 auto;"
    "padding:0 1rem 2rem}"
    "a:focus{outline:2px solid;outline-offset:2px}"
    ".skip{position:absolute;left:-999rem}.skip:focus{left:1rem;top:1rem}"
    "nav ul{list-style:none;padding:0;margin:.5rem 0;display:flex;flex-wrap:wrap;gap:.25rem 1rem}"
    "pre{white-space:pre-wrap;overflow-wrap:anywhere}"
    ".html{overflow-wrap:anywhere}.html table{border-collapse:collapse}"
    "table{max-width:100%}td,th{padding:.2rem .6rem;text-align:left;vertical-align:top}"
    ".meta{display:grid;grid-template-columns:max-content 1fr;gap:0 .75rem}"
    ".meta dt{font-weight:bold}.meta dd{margin:0;overflow-wrap:anywhere}"
    ".threads ul{padding-left:1.25rem}.threads,.bydate{padding-left:1.25rem}"
    ".who,time{color:GrayText}"
    ".chart{margin:1rem 0}.chart svg{width:100%;max-width:640px;height:auto}"
    ".chart rect,.chart circle{fill:currentColor}"
    ".chart polyline{fill:none;stroke:currentColor;stroke-width:2}"
    ".chart .axis{stroke:currentColor}.chart text{font-size:11px;fill:currentColor}";

std::string PageStart(std::string_view title) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    page += kPolicy;
    page += "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n<title>";
    AppendEscaped(page, title);
    page += "</title>\n<style>";
    page += kStyle;
    page += "</style>\n</head>\n<body>\n<a class=\"skip\" href=\"#main\">Skip to the content</a>\n";
    return page;
}

constexpr const char* kPageEnd = "</body>\n</html>\n";

std::string ArchiveTitle(const SiteInfo& info) {
    return info.listName + " archive";
}

std::string SubjectOf(const SiteMessage& message, bool showAddresses) {
    const std::string& subject = message.facts.subject;
    return subject.empty() ? "(no subject)" : HideAddresses(subject, showAddresses);
}

// The sender as the lists show it: the name, or the address (hidden unless shown).
std::string SenderName(const SiteMessage& message, bool showAddresses) {
    const MessageFacts& facts = message.facts;
    if (!facts.fromName.empty()) {
        return HideAddresses(facts.fromName, showAddresses);
    }
    if (!facts.fromAddress.empty()) {
        return showAddresses ? facts.fromAddress : ObfuscatedAddress(facts.fromAddress);
    }
    return "(unknown sender)";
}

// A link to another message from a page at the given depth ("" from msg/, "../msg/" from a
// month's folder), with the message's subject as its text.
std::string MessageLink(const SiteMessage& message, std::string_view prefix, bool showAddresses,
                        std::string_view attributes = "") {
    std::string link = "<a";
    if (!attributes.empty()) {
        link += ' ';
        link += attributes;
    }
    link += " href=\"";
    AppendEscaped(link, std::string(prefix) + PageBase(message.page) + ".html");
    link += "\">";
    AppendEscaped(link, SubjectOf(message, showAddresses));
    link += "</a>";
    return link;
}

// One line of a month's lists: link, sender, date.
std::string ListEntry(const SiteMessage& message, bool showAddresses) {
    std::string entry = MessageLink(message, "../msg/", showAddresses);
    entry += " <span class=\"who\">";
    AppendEscaped(entry, SenderName(message, showAddresses));
    entry += "</span> <time>";
    AppendEscaped(entry, message.facts.dateText);
    entry += "</time>";
    return entry;
}

std::string MonthNavigation(const SiteInfo& info, std::string_view other, const char* otherText,
                            std::string_view previousMonth, std::string_view nextMonth,
                            std::string_view file) {
    std::string nav = "<nav aria-label=\"Months\"><ul><li><a href=\"../index.html\">";
    AppendEscaped(nav, ArchiveTitle(info));
    nav += "</a></li><li><a href=\"";
    nav += other;
    nav += "\">";
    nav += otherText;
    nav += "</a></li>";
    if (!previousMonth.empty()) {
        nav += "<li><a rel=\"prev\" href=\"../" + std::string(previousMonth) + "/" +
               std::string(file) + "\">" + MonthTitle(previousMonth) + "</a></li>";
    }
    if (!nextMonth.empty()) {
        nav += "<li><a rel=\"next\" href=\"../" + std::string(nextMonth) + "/" + std::string(file) +
               "\">" + MonthTitle(nextMonth) + "</a></li>";
    }
    nav += "</ul></nav>\n";
    return nav;
}

// The description as paragraphs: an empty line between two.
std::string Paragraphs(std::string_view text) {
    std::string html;
    std::string paragraph;
    auto flush = [&] {
        if (!Trim(paragraph).empty()) {
            html += "<p>" + TextToHtml(ValidUtf8(Trim(paragraph)), true) + "</p>\n";
        }
        paragraph.clear();
    };
    for (const std::string& line : TextToLines(text)) {
        if (Trim(line).empty()) {
            flush();
        } else {
            paragraph += (paragraph.empty() ? "" : "\n") + line;
        }
    }
    flush();
    return html;
}

std::string JoiningSection(const SiteInfo& info) {
    if (Trim(info.listServerAddress).empty()) {
        return {};
    }
    const std::string address = Trim(info.listServerAddress);
    std::string html = "<section aria-labelledby=\"joining\">\n<h2 id=\"joining\">Joining</h2>\n";
    if (!info.allowUserSubscribe) {
        return html + "<p>This list does not take subscriptions by mail.</p>\n</section>\n";
    }
    auto request = [&](const char* word, const char* what) {
        const std::string subject = std::string(word) + " " + info.listName;
        std::string text = "<p>To ";
        text += what;
        text += ", send a message to <a href=\"mailto:";
        AppendEscaped(text, address + "?subject=" + PercentEncode(subject));
        text += "\">";
        AppendEscaped(text, address);
        text += "</a> with the subject <code>";
        AppendEscaped(text, subject);
        text += "</code>.</p>\n";
        return text;
    };
    html += request("subscribe", "subscribe");
    html += request("unsubscribe", "unsubscribe");
    return html + "</section>\n";
}

}  // namespace

std::string PageBase(std::string_view page) {
    std::size_t slash = page.rfind('/');
    std::string_view base = slash == std::string_view::npos ? page : page.substr(slash + 1);
    if (EndsWith(base, ".html")) {
        base.remove_suffix(5);
    }
    return std::string(base);
}

std::string MonthTitle(std::string_view month) {
    if (month.size() != 7) {
        return std::string(month);
    }
    const int number = (month[5] - '0') * 10 + (month[6] - '0');
    if (number < 1 || number > 12) {
        return std::string(month);
    }
    return std::string(kMonthNames[static_cast<std::size_t>(number - 1)]) + " " +
           std::string(month.substr(0, 4));
}

std::string IndexPage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                      const std::vector<std::string>& months) {
    std::map<std::string, int> counts;
    for (const SiteMessage& message : messages) {
        ++counts[message.facts.month];
    }
    std::string page = PageStart(ArchiveTitle(info));
    page += "<header>\n<h1>";
    AppendEscaped(page, ArchiveTitle(info));
    page += "</h1>\n</header>\n<main id=\"main\">\n";
    page += Paragraphs(info.description);
    page += JoiningSection(info);

    // Both charts cover the months of the archive and of the log's member changes.
    std::string first = months.empty() ? std::string() : months.front();
    std::string last = months.empty() ? std::string() : months.back();
    if (!info.memberChanges.empty()) {
        const std::string& firstChange = info.memberChanges.begin()->first;
        const std::string& lastChange = info.memberChanges.rbegin()->first;
        first = first.empty() ? firstChange : std::min(first, firstChange);
        last = last.empty() ? lastChange : std::max(last, lastChange);
    }
    const std::vector<std::string> range = MonthRange(first, last);
    if (!range.empty()) {
        MonthValues postings;
        for (const std::string& month : range) {
            auto count = counts.find(month);
            postings.emplace_back(month, count == counts.end() ? 0 : count->second);
        }
        page += "<section aria-labelledby=\"activity\">\n<h2 id=\"activity\">Activity</h2>\n";
        page += BarChartSvg(postings, "Postings per month", "posting");
        page += LineChartSvg(MembersByMonth(range, info.memberChanges, info.membersNow),
                             "Members at the end of each month", "member");
        page += "</section>\n";
    }

    page += "<section aria-labelledby=\"months\">\n<h2 id=\"months\">Messages by month</h2>\n";
    if (months.empty()) {
        page += "<p>The archive holds no messages yet.</p>\n";
    } else {
        page +=
            "<table>\n<thead><tr><th scope=\"col\">Month</th><th scope=\"col\">Messages</th>"
            "<th scope=\"col\">Threads</th><th scope=\"col\">By date</th></tr></thead>\n<tbody>\n";
        for (auto month = months.rbegin(); month != months.rend(); ++month) {
            const std::string title = MonthTitle(*month);
            page += "<tr><td>" + title + "</td><td>" + std::to_string(counts[*month]) +
                    "</td><td><a href=\"" + *month + "/threads.html\" aria-label=\"" + title +
                    " by thread\">by thread</a></td><td><a href=\"" + *month +
                    "/date.html\" aria-label=\"" + title + " by date\">by date</a></td></tr>\n";
        }
        page += "</tbody>\n</table>\n";
    }
    page += "</section>\n</main>\n";
    return page + kPageEnd;
}

std::string MonthThreadsPage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                             std::string_view month, const std::vector<int>& ofMonth,
                             std::string_view previousMonth, std::string_view nextMonth) {
    const bool show = info.showAddresses;
    // Within the month a message hangs under its nearest ancestor of the same month; one
    // without such an ancestor opens its thread's entry in this month.
    std::map<int, std::vector<int>> children;
    std::vector<int> tops;
    for (int index : ofMonth) {
        int up = messages[static_cast<std::size_t>(index)].links.parent;
        while (up >= 0 && messages[static_cast<std::size_t>(up)].facts.month != month) {
            up = messages[static_cast<std::size_t>(up)].links.parent;
        }
        if (up >= 0) {
            children[up].push_back(index);
        } else {
            tops.push_back(index);
        }
    }
    // Threads in the order of their first message of the month.
    std::map<int, std::vector<int>> topsOfThread;
    std::vector<int> threadOrder;
    for (int top : tops) {
        const int thread = messages[static_cast<std::size_t>(top)].links.thread;
        if (topsOfThread[thread].empty()) {
            threadOrder.push_back(thread);
        }
        topsOfThread[thread].push_back(top);
    }

    std::string page = PageStart(ArchiveTitle(info) + ": " + MonthTitle(month) + ", by thread");
    page += "<header>\n<h1>";
    AppendEscaped(page, ArchiveTitle(info));
    page += ": " + MonthTitle(month) + "</h1>\n";
    page += MonthNavigation(info, "date.html", "By date", previousMonth, nextMonth, "threads.html");
    page += "</header>\n<main id=\"main\">\n<p>" + std::to_string(ofMonth.size()) +
            " messages in " + std::to_string(threadOrder.size()) + " threads.</p>\n";
    page += "<ul class=\"threads\">\n";
    // Depth-first, without recursion: (message, closing tags to write after its entry).
    for (int thread : threadOrder) {
        const std::string anchor = "t-" + PageBase(messages[static_cast<std::size_t>(thread)].page);
        page += "<li id=\"" + anchor + "\">";
        std::vector<std::pair<int, int>> stack;  // message, depth
        const std::vector<int>& threadTops = topsOfThread[thread];
        for (auto top = threadTops.rbegin(); top != threadTops.rend(); ++top) {
            stack.emplace_back(*top, 0);
        }
        int depth = -1;
        bool first = true;
        while (!stack.empty()) {
            const auto [index, level] = stack.back();
            stack.pop_back();
            if (first) {
                first = false;
            } else if (level > depth) {
                page += "\n<ul><li>";
            } else {
                page += "</li>\n";
                for (int close = depth; close > level; --close) {
                    page += "</ul></li>\n";
                }
                page += "<li>";
            }
            depth = level;
            page += ListEntry(messages[static_cast<std::size_t>(index)], show);
            auto kids = children.find(index);
            if (kids != children.end()) {
                for (auto kid = kids->second.rbegin(); kid != kids->second.rend(); ++kid) {
                    stack.emplace_back(*kid, level + 1);
                }
            }
        }
        for (int close = depth; close > 0; --close) {
            page += "</li></ul>";
        }
        page += "</li>\n";
    }
    page += "</ul>\n</main>\n";
    return page + kPageEnd;
}

std::string MonthDatePage(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                          std::string_view month, const std::vector<int>& ofMonth,
                          std::string_view previousMonth, std::string_view nextMonth) {
    std::string page = PageStart(ArchiveTitle(info) + ": " + MonthTitle(month) + ", by date");
    page += "<header>\n<h1>";
    AppendEscaped(page, ArchiveTitle(info));
    page += ": " + MonthTitle(month) + "</h1>\n";
    page +=
        MonthNavigation(info, "threads.html", "By thread", previousMonth, nextMonth, "date.html");
    page += "</header>\n<main id=\"main\">\n<p>" + std::to_string(ofMonth.size()) +
            " messages.</p>\n<ol class=\"bydate\">\n";
    for (int index : ofMonth) {
        page += "<li>" + ListEntry(messages[static_cast<std::size_t>(index)], info.showAddresses) +
                "</li>\n";
    }
    page += "</ol>\n</main>\n";
    return page + kPageEnd;
}

MessageFrame MessagePageFrame(const SiteInfo& info, const std::vector<SiteMessage>& messages,
                              int index) {
    const bool show = info.showAddresses;
    const SiteMessage& message = messages[static_cast<std::size_t>(index)];
    const MessageFacts& facts = message.facts;
    auto at = [&](int other) -> const SiteMessage& {
        return messages[static_cast<std::size_t>(other)];
    };
    const std::string monthFolder = "../" + facts.month + "/";
    const std::string threadAnchor = "#t-" + PageBase(at(message.links.thread).page);

    MessageFrame frame;
    frame.title = SubjectOf(message, show) + " - " + ArchiveTitle(info);
    std::string& before = frame.before;
    before = "<header>\n<nav aria-label=\"Archive\"><ul><li><a href=\"../index.html\">";
    AppendEscaped(before, ArchiveTitle(info));
    before += "</a></li><li><a href=\"" + monthFolder + "threads.html" + threadAnchor + "\">" +
              MonthTitle(facts.month) + ", this thread</a></li><li><a href=\"" + monthFolder +
              "date.html\">" + MonthTitle(facts.month) + ", by date</a></li></ul></nav>\n";
    before += "</header>\n<main id=\"main\">\n<article>\n<h1>";
    AppendEscaped(before, SubjectOf(message, show));
    before += "</h1>\n<dl class=\"meta\">\n<dt>From</dt><dd>";
    if (!facts.fromName.empty()) {
        AppendEscaped(before, HideAddresses(facts.fromName, show));
        before += ' ';
    }
    if (!facts.fromAddress.empty()) {
        AppendEscaped(
            before, "<" + (show ? facts.fromAddress : ObfuscatedAddress(facts.fromAddress)) + ">");
    }
    before += "</dd>\n<dt>Date</dt><dd><time>";
    AppendEscaped(before, facts.dateText);
    before += "</time></dd>\n";
    if (message.links.parent >= 0) {
        before += "<dt>In reply to</dt><dd>" +
                  MessageLink(at(message.links.parent), "", show, "id=\"parent\"") + "</dd>\n";
    }
    before += "</dl>\n";

    std::string& after = frame.after;
    after = "</article>\n<nav aria-label=\"Messages\">\n<ul>\n";
    auto neighbour = [&](int other, const char* label, const char* attributes) {
        if (other >= 0) {
            after += "<li>";
            after += label;
            after += ": " + MessageLink(at(other), "", show, attributes) + "</li>\n";
        }
    };
    neighbour(message.datePrev, "Previous by date", "id=\"prev\" rel=\"prev\"");
    neighbour(message.dateNext, "Next by date", "id=\"next\" rel=\"next\"");
    neighbour(message.links.threadPrev, "Previous in thread", "id=\"thread-prev\"");
    neighbour(message.links.threadNext, "Next in thread", "id=\"thread-next\"");
    after += "</ul>\n";
    if (!message.links.children.empty()) {
        after += "<h2>Replies</h2>\n<ul class=\"threads\">\n";
        for (int child : message.links.children) {
            after += "<li>" + MessageLink(at(child), "", show) + " <span class=\"who\">";
            AppendEscaped(after, SenderName(at(child), show));
            after += "</span></li>\n";
        }
        after += "</ul>\n";
    }
    after += "</nav>\n</main>\n";
    after += kPageEnd;
    return frame;
}

std::string MessagePage(const MessageFrame& frame, const SiteMessage& message,
                        const MessageBody& body) {
    std::string page = PageStart(frame.title);
    page += frame.before;
    page += body.html.empty() ? "<p>(no text)</p>\n" : body.html;
    if (!body.attachments.empty()) {
        page +=
            "<section aria-labelledby=\"attachments\">\n<h2 id=\"attachments\">Attachments</h2>"
            "\n<ul>\n";
        const std::string folder = PageBase(message.page) + "/";
        for (const Attachment& attachment : body.attachments) {
            page += "<li><a href=\"";
            AppendEscaped(page, folder + attachment.fileName);
            page += "\" download>";
            AppendEscaped(page, attachment.name.empty() ? attachment.fileName : attachment.name);
            page += "</a> (";
            AppendEscaped(page, attachment.contentType);
            page += ", " + SizeText(attachment.bytes.size()) + ")</li>\n";
        }
        page += "</ul>\n</section>\n";
    }
    return page + frame.after;
}

}  // namespace corvanteer::archive
