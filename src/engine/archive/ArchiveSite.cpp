#include "engine/archive/ArchiveSite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <map>
#include <numeric>
#include <unordered_map>

#include "engine/archive/FactsIndex.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/UnsyncedFile.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/Sha256.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

// Raised when the pages are made differently, so every page is written anew.
constexpr const char* kSiteVersion = "corvanteer-archive 1";

struct PageState {
    std::string key;
    uint64_t size = 0;
};
using PageRecord = std::map<std::string, PageState>;  // path relative to the root

PageRecord ReadPageRecord(const std::string& path) {
    PageRecord record;
    std::optional<std::string> text;
    try {
        text = ReadFileIfExists(path);
    } catch (const Failure&) {
        return record;  // every page is written again
    }
    if (!text) {
        return record;
    }
    // "key size path" lines; a line of another form is left out (its page is written again).
    std::string_view rest(*text);
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
        const std::size_t first = line.find(' ');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(' ', first + 1);
        uint64_t size = 0;
        if (first != 64 || second == std::string_view::npos ||
            std::from_chars(line.data() + first + 1, line.data() + second, size).ptr !=
                line.data() + second) {
            continue;
        }
        record.emplace_hint(record.end(), std::string(line.substr(second + 1)),
                            PageState{std::string(line.substr(0, first)), size});
    }
    return record;
}

std::string PageRecordText(const PageRecord& record) {
    std::string text;
    for (const auto& [path, state] : record) {
        text += state.key + " " + std::to_string(state.size) + " " + path + "\n";
    }
    return text;
}

// The size of a file, or -1 when it is not there.
long long FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return static_cast<long long>(st.st_size);
}

void MakeFolder(const std::string& path, bool privateFiles) {
    if (privateFiles) {
        ForceDirectories(path);
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        ThrowIoError("Cannot create the folder", path, error.value());
    }
}

// Page names in the order of the files: the first message with an identifier gets the
// plain name, later ones "-2", "-3", ...
void NamePages(std::vector<SiteMessage>& messages) {
    std::unordered_map<std::string, int> uses;
    for (SiteMessage& message : messages) {
        const std::string page = MessagePageOf(message.facts.messageId);
        const int use = ++uses[page];
        message.page =
            use == 1 ? page : page.substr(0, page.size() - 5) + "-" + std::to_string(use) + ".html";
    }
}

void LinkMessages(std::vector<SiteMessage>& messages) {
    std::vector<ThreadInput> inputs;
    inputs.reserve(messages.size());
    for (const SiteMessage& message : messages) {
        inputs.push_back({message.facts.messageId, message.facts.inReplyTo,
                          message.facts.references, message.facts.subject});
    }
    std::vector<ThreadLinks> links = ThreadMessages(inputs);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        messages[i].links = std::move(links[i]);
        messages[i].datePrev = i > 0 ? static_cast<int>(i) - 1 : -1;
        messages[i].dateNext = i + 1 < messages.size() ? static_cast<int>(i) + 1 : -1;
    }
}

class SiteWriter {
public:
    SiteWriter(std::string root, PageRecord old, bool privateFiles)
        : root_(std::move(root)), old_(std::move(old)), private_(privateFiles) {}

    // True when the page must be written: new, changed, or its file missing or altered.
    bool NeedsWriting(const std::string& path, const std::string& key) const {
        auto found = old_.find(path);
        return found == old_.end() || found->second.key != key ||
               FileSize(root_ + path) != static_cast<long long>(found->second.size);
    }

    // Records the page; writes it when needed.
    void Page(const std::string& path, const std::string& key, const std::string& bytes) {
        if (NeedsWriting(path, key)) {
            MakeFolder(root_ + path.substr(0, path.rfind('/') + 1), private_);
            ReplaceFileUnsynced(root_ + path, bytes, private_);
            ++written_;
        }
        Keep(path, key, bytes.size());
    }

    // Records a page that stays as it is.
    void Keep(const std::string& path, const std::string& key, uint64_t size) {
        record_[path] = {key, size};
    }

    // Removes the pages of the old record that were not made this time, and their
    // attachment folders.
    std::size_t RemoveStale() {
        std::size_t removed = 0;
        for (const auto& [path, state] : old_) {
            if (record_.count(path) != 0) {
                continue;
            }
            DeleteFileIfExists(root_ + path);
            if (StartsWith(path, "msg/")) {
                std::error_code ignored;
                std::filesystem::remove_all(root_ + path.substr(0, path.size() - 5), ignored);
            }
            ++removed;
        }
        return removed;
    }

    void Save() { ReplaceFileUnsynced(root_ + kPageRecordName, PageRecordText(record_), private_); }

    std::size_t written() const { return written_; }
    const std::string& root() const { return root_; }
    bool privateFiles() const { return private_; }

private:
    std::string root_;
    PageRecord old_;
    PageRecord record_;
    bool private_;
    std::size_t written_ = 0;
};

// Writes the page of a message, and its attachments into the folder named after it.
void WriteMessagePage(SiteWriter& writer, const SiteMessage& message, const MessageFrame& frame,
                      const std::string& key, std::string_view mboxBytes, bool showAddresses) {
    const std::size_t begin = std::min<std::size_t>(message.facts.offset, mboxBytes.size());
    const std::size_t end =
        std::min<std::size_t>(message.facts.offset + message.facts.length, mboxBytes.size());
    const std::size_t lf = mboxBytes.find('\n', begin);
    const MboxSpan span{begin, lf == std::string_view::npos ? end : std::min(end, lf + 1), end};
    const MessageBody body = RenderMessageBody(MboxMessage(mboxBytes, span), showAddresses);

    const std::string folder = writer.root() + message.page.substr(0, message.page.size() - 5);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!body.attachments.empty()) {
        MakeFolder(folder, writer.privateFiles());
        for (const Attachment& attachment : body.attachments) {
            ReplaceFileUnsynced(folder + "/" + attachment.fileName, attachment.bytes,
                                writer.privateFiles());
        }
    }
    writer.Page(message.page, key, MessagePage(frame, message, body));
}

}  // namespace

BuildReport BuildSite(const MboxStore& store, const std::string& outDir, const SiteInfo& info,
                      bool privateFiles) {
    ForceDirectories(store.folder());
    FileLock lock(store.folder() + ".build.lock");
    lock.Lock();

    std::vector<SiteMessage> messages;
    {
        std::vector<MessageFacts> facts = UpdateFactsIndex(store);
        messages.resize(facts.size());
        for (std::size_t i = 0; i < facts.size(); ++i) {
            messages[i].facts = std::move(facts[i]);
        }
    }
    NamePages(messages);
    {
        // By date; files and offsets break ties. Indexes are sorted, the messages moved once.
        std::vector<std::size_t> order(messages.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return messages[a].facts.date < messages[b].facts.date;
        });
        std::vector<SiteMessage> sorted;
        sorted.reserve(messages.size());
        for (std::size_t index : order) {
            sorted.push_back(std::move(messages[index]));
        }
        messages = std::move(sorted);
    }
    LinkMessages(messages);

    std::vector<std::string> months;
    std::map<std::string, std::vector<int>> ofMonth;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ofMonth[messages[i].facts.month].push_back(static_cast<int>(i));
    }
    for (const auto& entry : ofMonth) {
        months.push_back(entry.first);
    }

    const std::string root = AddBackslash(outDir);
    MakeFolder(root, privateFiles);
    SiteWriter writer(root, ReadPageRecord(root + kPageRecordName), privateFiles);
    auto page = [&](const std::string& path, const std::string& bytes) {
        writer.Page(path, Sha256Hex(bytes), bytes);
    };
    page("index.html", IndexPage(info, messages, months));
    for (std::size_t m = 0; m < months.size(); ++m) {
        const std::string previous = m > 0 ? months[m - 1] : std::string();
        const std::string next = m + 1 < months.size() ? months[m + 1] : std::string();
        const std::vector<int>& indexes = ofMonth[months[m]];
        page(months[m] + "/threads.html",
             MonthThreadsPage(info, messages, months[m], indexes, previous, next));
        page(months[m] + "/date.html",
             MonthDatePage(info, messages, months[m], indexes, previous, next));
    }

    // Message pages: those whose frame or message changed are rendered, month by month so
    // only one month file is in memory at a time.
    struct Work {
        int index;
        MessageFrame frame;
        std::string key;
    };
    std::map<std::string, std::vector<Work>> work;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const SiteMessage& message = messages[i];
        MessageFrame frame = MessagePageFrame(info, messages, static_cast<int>(i));
        const std::string key = Sha256Hex(
            std::string(kSiteVersion) + "\n" + (info.showAddresses ? "1" : "0") + "\n" +
            message.facts.hash + "\n" + frame.title + "\n" + frame.before + "\n" + frame.after);
        if (writer.NeedsWriting(message.page, key)) {
            work[message.facts.month].push_back({static_cast<int>(i), std::move(frame), key});
        } else {
            writer.Keep(message.page, key, static_cast<uint64_t>(FileSize(root + message.page)));
        }
    }
    for (const auto& [month, items] : work) {
        const std::string bytes = store.ReadMonth(month);
        for (const Work& item : items) {
            WriteMessagePage(writer, messages[static_cast<std::size_t>(item.index)], item.frame,
                             item.key, bytes, info.showAddresses);
        }
    }

    BuildReport report;
    report.pagesRemoved = writer.RemoveStale();
    writer.Save();
    report.messages = messages.size();
    report.months = months.size();
    report.pagesWritten = writer.written();
    return report;
}

}  // namespace corvanteer::archive
