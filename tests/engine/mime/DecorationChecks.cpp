#include "engine/mime/DecorationChecks.h"

#include <algorithm>
#include <set>

#include "engine/mime/MimeLibrary.h"
#include "support/Text.h"

namespace corvanteer::mime {

namespace {

// A part compared on its own: a leaf, or a signed, encrypted or attached message, compared
// whole. shown: text/plain, not an attachment, where a mail program shows it inline.
struct Leaf {
    GMimeObject* object = nullptr;
    bool sealed = false;
    bool shown = false;
};

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
    return g_mime_content_type_is_type(g_mime_object_get_content_type(object), type, subtype);
}

void CollectLeaves(GMimeObject* object, bool shownPlace, std::vector<Leaf>& leaves) {
    if (GMIME_IS_MULTIPART_SIGNED(object) || GMIME_IS_MULTIPART_ENCRYPTED(object) ||
        GMIME_IS_MESSAGE_PART(object)) {
        leaves.push_back(Leaf{object, true, false});
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        // Only the parts of a top-level multipart/mixed are shown one after the other.
        const bool mixed = shownPlace && IsType(object, "multipart", "mixed");
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            CollectLeaves(g_mime_multipart_get_part(multipart, i), mixed, leaves);
        }
        return;
    }
    const char* disposition = g_mime_object_get_disposition(object);
    const bool inlineText = GMIME_IS_TEXT_PART(object) && IsType(object, "text", "plain") &&
                            (disposition == nullptr || SameText(disposition, "inline"));
    leaves.push_back(Leaf{object, false, shownPlace && inlineText});
}

std::string MimeType(GMimeObject* object) {
    char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object));
    std::string result = type != nullptr ? type : "";
    g_free(type);
    return result;
}

// Line breaks as LF, for comparing texts whatever their line ends.
std::string Breaks(std::string_view text) {
    std::string out = JoinLines(TextToLines(text), "\n");
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        out += '\n';
    }
    return out;
}

// The kinds of defect: a broken structure (a multipart cut short, without parts, a part
// without content) is one kind, as the parser names it after where it notices the break.
int Kind(int code) {
    switch (code) {
        case GMIME_WARN_TRUNCATED_MESSAGE:
        case GMIME_WARN_MALFORMED_MULTIPART:
        case GMIME_WARN_MALFORMED_MESSAGE:
        case GMIME_WARN_PART_WITHOUT_CONTENT:
            return GMIME_WARN_TRUNCATED_MESSAGE;
        default:
            return code;
    }
}

std::set<int> IssueKinds(const std::vector<ParseIssue>& issues) {
    std::set<int> kinds;
    for (const ParseIssue& issue : issues) {
        kinds.insert(Kind(issue.code));
    }
    return kinds;
}

class Checker {
public:
    Checker(std::string_view posting, std::string_view signature, const DecoratedBody& decorated)
        : original_(LinesToText(TextToLines(posting))),
          signature_(signature),
          decorated_(decorated),
          output_(DecoratedMessage(decorated)) {}

    std::vector<std::string> Run() {
        if (decorated_.signature == SignaturePlace::LeftOut) {
            // Too broken to change: the body goes as it came.
            const std::string entity = MimeEntity(original_);
            if (!EndsWith(entity, decorated_.body) || entity.size() - decorated_.body.size() < 2 ||
                entity.compare(entity.size() - decorated_.body.size() - 2, 2, "\r\n") != 0) {
                Fault("a body left as it is changed");
            }
            return std::move(faults_);
        }
        // Both as the list reads a posting's structure: the body below its Content-* lines.
        std::vector<ParseIssue> inIssues;
        std::vector<ParseIssue> outIssues;
        Ptr<GMimeObject> in = ParseEntity(MimeEntity(original_), &inIssues);
        Ptr<GMimeObject> out = ParseEntity(MimeEntity(output_), &outIssues);
        const std::set<int> inKinds = IssueKinds(inIssues);
        for (const ParseIssue& issue : outIssues) {
            if (!inKinds.count(Kind(issue.code))) {
                Fault("new MIME defect " + std::to_string(issue.code) + " " + issue.item);
            }
        }
        CheckLineLengths();

        std::vector<Leaf> before;
        std::vector<Leaf> after;
        CollectLeaves(in.get(), true, before);
        CollectLeaves(out.get(), true, after);
        const bool blank = Trim(signature_).empty();
        switch (decorated_.signature) {
            case SignaturePlace::None:
                if (!blank) {
                    Fault("a signature that is not blank was not added");
                } else if (after.size() != before.size()) {
                    Fault("parts were added or lost without a signature");
                } else {
                    CompareLeaves(before, after, before.size());
                }
                break;
            case SignaturePlace::AfterText:
                // The described layout appends even a blank signature.
                if (before.size() != 1 || after.size() != 1) {
                    Fault("the signature went after the text of a posting of several parts");
                } else {
                    CheckHostText(before[0], after[0]);
                }
                break;
            case SignaturePlace::LastPart:
            case SignaturePlace::NewMixed:
                if (blank || after.size() != before.size() + 1) {
                    Fault("parts: " + std::to_string(before.size()) + " before, " +
                          std::to_string(after.size()) + " after");
                } else {
                    CheckSignaturePart(after.back());
                    CompareLeaves(before, after, before.size());
                }
                break;
            case SignaturePlace::LeftOut:
                break;  // handled above
        }
        return std::move(faults_);
    }

private:
    void Fault(std::string text) { faults_.push_back(std::move(text)); }

    void CheckLineLengths() {
        for (const std::string& line : TextToLines(decorated_.body)) {
            if (line.size() > kMaxLineOctets && original_.find(line) == std::string::npos) {
                Fault("new line of " + std::to_string(line.size()) + " octets");
            }
        }
    }

    void CompareLeaves(const std::vector<Leaf>& before, const std::vector<Leaf>& after,
                       size_t count) {
        for (size_t i = 0; i < count; ++i) {
            GMimeObject* a = before[i].object;
            GMimeObject* b = after[i].object;
            const std::string where = "part " + std::to_string(i + 1) + " (" + MimeType(a) + ")";
            if (before[i].sealed != after[i].sealed || MimeType(a) != MimeType(b)) {
                Fault(where + " changed its type to " + MimeType(b));
            } else if (before[i].sealed) {
                // What a signature covers is inside: the multipart's own header is the
                // message's, which the posting writes anew.
                if (SerializeContent(a) != SerializeContent(b)) {
                    Fault(where + " is not byte for byte the same");
                }
            } else if (GMIME_IS_PART(a) && GMIME_IS_PART(b) &&
                       DecodedContent(GMIME_PART(a)) != DecodedContent(GMIME_PART(b))) {
                Fault(where + " decodes to other bytes");
            }
        }
    }

    void CheckSignaturePart(const Leaf& leaf) {
        if (!leaf.shown) {
            Fault("the signature part is not shown inline");
            return;
        }
        const std::string text = TextAsUtf8(GMIME_TEXT_PART(leaf.object));
        if (Breaks(text) != Breaks(SignatureUtf8()) + "\n") {
            Fault("the signature part holds something else: " + OneLineText(text, 80));
        }
    }

    // The one text part took the signature: its old text, a line break, the signature.
    void CheckHostText(const Leaf& before, const Leaf& after) {
        if (!after.shown || before.sealed || !GMIME_IS_TEXT_PART(before.object)) {
            Fault("the signature is not in a text part that is shown");
            return;
        }
        const std::string old = Breaks(TextAsUtf8(GMIME_TEXT_PART(before.object)));
        const std::string now = Breaks(TextAsUtf8(GMIME_TEXT_PART(after.object)));
        std::string expected = old;
        if (!expected.empty() && expected.back() != '\n') {
            expected += '\n';
        }
        expected += Breaks(SignatureUtf8()) + "\n";
        if (now != expected) {
            Fault("the text with the signature reads " + OneLineText(now, 120));
        }
    }

    std::string SignatureUtf8() const { return AsUtf8(signature_); }

    const std::string original_;
    const std::string signature_;
    const DecoratedBody& decorated_;
    const std::string output_;
    std::vector<std::string> faults_;
};

}  // namespace

std::string DecoratedMessage(const DecoratedBody& decorated) {
    std::string message;
    const BodyFields& fields = decorated.fields;
    if (!fields.mimeVersion.empty()) {
        message += "MIME-Version: " + fields.mimeVersion + "\r\n";
    }
    if (!fields.contentType.empty()) {
        message += "Content-Type: " + fields.contentType + "\r\n";
    }
    if (!fields.contentTransferEncoding.empty()) {
        message += "Content-Transfer-Encoding: " + fields.contentTransferEncoding + "\r\n";
    }
    message += "\r\n";
    message += decorated.body;
    return message;
}

std::vector<std::string> DecorationFaults(std::string_view posting, std::string_view signature,
                                          const DecoratedBody& decorated) {
    return Checker(posting, signature, decorated).Run();
}

}  // namespace corvanteer::mime
