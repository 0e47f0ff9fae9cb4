#pragma once

// Threads of archived messages: who answers whom, by In-Reply-To and References, and by the
// subject only for a message that has neither.

#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::archive {

struct ThreadInput {
    std::string id;  // Message-ID without angle brackets (never empty)
    std::string inReplyTo;
    std::vector<std::string> references;  // oldest first
    std::string subject;
};

struct ThreadLinks {
    int parent = -1;  // the message it answers, as far as the archive holds it
    int thread = 0;   // the thread's number: the index of its first message
    int threadPrev = -1;
    int threadNext = -1;  // the thread's messages in the order given
    std::vector<int> children;
};

// messages must be in the order they are shown (by date). A message's parent is the latest
// message of the archive its References (with In-Reply-To last) name, never one that would
// make a loop. Messages that name each other, also through messages the archive does not
// hold, share a thread. A message with neither In-Reply-To nor References whose subject
// begins with a reply prefix ("Re:", "Aw:", "Sv:", "Antw:", any case, after any "[tag]")
// answers the latest earlier message with the same subject; without a prefix it starts a
// thread of its own, whatever its subject. Of several messages with one id, the first is
// the one others answer.
std::vector<ThreadLinks> ThreadMessages(const std::vector<ThreadInput>& messages);

// The subject without reply and forward prefixes and "[tag]"s, blanks collapsed, lower case
// (ASCII): what two subjects of one conversation share.
std::string BaseSubject(std::string_view subject, bool* wasReply = nullptr);

}  // namespace corvanteer::archive
