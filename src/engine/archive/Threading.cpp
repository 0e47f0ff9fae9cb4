#include "engine/archive/Threading.h"

#include <array>
#include <unordered_map>

#include "engine/archive/HtmlText.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

constexpr std::array<std::string_view, 4> kReplyPrefixes = {"re", "aw", "sv", "antw"};
constexpr std::array<std::string_view, 4> kForwardPrefixes = {"fwd", "fw", "wg", "tr"};

// Disjoint sets of nodes (messages and identifiers the archive does not hold).
class Sets {
public:
    int Add() {
        parent_.push_back(static_cast<int>(parent_.size()));
        return parent_.back();
    }
    int Find(int node) {
        while (parent_[static_cast<std::size_t>(node)] != node) {
            int& up = parent_[static_cast<std::size_t>(node)];
            up = parent_[static_cast<std::size_t>(up)];  // halves the path
            node = up;
        }
        return node;
    }
    void Join(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a != b) {
            // The smaller node stays the root, so a message's set is named by a message.
            parent_[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    }

private:
    std::vector<int> parent_;
};

// The length of a prefix word ("re", "Fwd", ...) with its optional count ("[2]", "(2)") and
// colon at the start of text; 0 when there is none.
std::size_t PrefixLength(std::string_view text, std::string_view word) {
    if (!StartsWithText(text, word)) {
        return 0;
    }
    std::size_t i = word.size();
    if (i < text.size() && (text[i] == '[' || text[i] == '(')) {
        const char close = text[i] == '[' ? ']' : ')';
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            ++j;
        }
        if (j > i + 1 && j < text.size() && text[j] == close) {
            i = j + 1;
        }
    }
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    return i < text.size() && text[i] == ':' ? i + 1 : 0;
}

}  // namespace

std::string BaseSubject(std::string_view subject, bool* wasReply) {
    std::string text = OneLine(subject);
    std::string_view rest = text;
    bool reply = false;
    for (bool changed = true; changed;) {
        changed = false;
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
        if (!rest.empty() && rest.front() == '[') {
            const std::size_t close = rest.find(']');
            if (close != std::string_view::npos && close + 1 < rest.size()) {
                rest.remove_prefix(close + 1);
                changed = true;
                continue;
            }
        }
        for (std::string_view word : kReplyPrefixes) {
            if (const std::size_t length = PrefixLength(rest, word)) {
                rest.remove_prefix(length);
                reply = changed = true;
                break;
            }
        }
        for (std::string_view word : kForwardPrefixes) {
            if (!changed) {
                if (const std::size_t length = PrefixLength(rest, word)) {
                    rest.remove_prefix(length);
                    changed = true;
                }
            }
        }
    }
    if (wasReply != nullptr) {
        *wasReply = reply;
    }
    return LowerCase(OneLine(rest));
}

std::vector<ThreadLinks> ThreadMessages(const std::vector<ThreadInput>& messages) {
    const int count = static_cast<int>(messages.size());
    std::vector<ThreadLinks> links(messages.size());
    Sets sets;
    std::unordered_map<std::string_view, int> messageOf;  // id -> first message with it
    std::unordered_map<std::string_view, int> nodeOf;     // id -> its node in sets
    for (int i = 0; i < count; ++i) {
        sets.Add();
        messageOf.emplace(messages[static_cast<std::size_t>(i)].id, i);
        nodeOf.emplace(messages[static_cast<std::size_t>(i)].id, i);
    }
    auto node = [&](std::string_view id) {
        auto found = nodeOf.find(id);
        if (found != nodeOf.end()) {
            return found->second;
        }
        const int added = sets.Add();
        nodeOf.emplace(id, added);
        return added;
    };
    // True when making candidate the parent of child would close a loop.
    auto loops = [&](int child, int candidate) {
        for (int up = candidate; up >= 0; up = links[static_cast<std::size_t>(up)].parent) {
            if (up == child) {
                return true;
            }
        }
        return false;
    };

    std::unordered_map<std::string, int> latestBySubject;
    for (int i = 0; i < count; ++i) {
        const ThreadInput& message = messages[static_cast<std::size_t>(i)];
        ThreadLinks& link = links[static_cast<std::size_t>(i)];
        std::vector<std::string_view> chain(message.references.begin(), message.references.end());
        if (!message.inReplyTo.empty() && (chain.empty() || chain.back() != message.inReplyTo)) {
            chain.push_back(message.inReplyTo);
        }
        for (std::size_t k = chain.size(); k-- > 0;) {
            auto found = messageOf.find(chain[k]);
            if (found != messageOf.end() && found->second != i && !loops(i, found->second)) {
                link.parent = found->second;
                break;
            }
        }
        for (std::string_view id : chain) {
            if (id != message.id) {
                sets.Join(i, node(id));
            }
        }
        bool reply = false;
        std::string base = BaseSubject(message.subject, &reply);
        if (chain.empty() && reply) {
            auto earlier = latestBySubject.find(base);
            if (earlier != latestBySubject.end() && !loops(i, earlier->second)) {
                link.parent = earlier->second;
                sets.Join(i, earlier->second);
            }
        }
        latestBySubject[std::move(base)] = i;
    }

    std::vector<int> lastOf(messages.size(), -1);
    for (int i = 0; i < count; ++i) {
        ThreadLinks& link = links[static_cast<std::size_t>(i)];
        // Every set holds at least one message and is named by its smallest node, which
        // is its first message: messages come before the other nodes.
        link.thread = sets.Find(i);
        int& last = lastOf[static_cast<std::size_t>(link.thread)];
        if (last >= 0) {
            link.threadPrev = last;
            links[static_cast<std::size_t>(last)].threadNext = i;
        }
        last = i;
        if (link.parent >= 0) {
            links[static_cast<std::size_t>(link.parent)].children.push_back(i);
        }
    }
    return links;
}

}  // namespace corvanteer::archive
