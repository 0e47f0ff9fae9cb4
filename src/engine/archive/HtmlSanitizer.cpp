#include "engine/archive/HtmlSanitizer.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/archive/HtmlText.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

// Nesting deeper than this is flattened to its text: no real message needs it, and the walk
// stays shallow.
constexpr int kMaxDepth = 64;

struct Rename {
    const char* from;
    const char* to;
};

// Elements kept, under the name they are written with.
constexpr std::array<Rename, 46> kAllowed = {{
    {"p", "p"},
    {"br", "br"},
    {"div", "div"},
    {"span", "span"},
    {"b", "b"},
    {"strong", "strong"},
    {"i", "i"},
    {"em", "em"},
    {"u", "u"},
    {"s", "s"},
    {"strike", "s"},
    {"del", "del"},
    {"ins", "ins"},
    {"small", "small"},
    {"sub", "sub"},
    {"sup", "sup"},
    {"blockquote", "blockquote"},
    {"pre", "pre"},
    {"code", "code"},
    {"tt", "code"},
    {"kbd", "kbd"},
    {"samp", "samp"},
    {"q", "q"},
    {"cite", "cite"},
    {"ul", "ul"},
    {"ol", "ol"},
    {"li", "li"},
    {"dl", "dl"},
    {"dt", "dt"},
    {"dd", "dd"},
    {"h1", "h2"},
    {"h2", "h2"},
    {"h3", "h3"},
    {"h4", "h4"},
    {"h5", "h5"},
    {"h6", "h6"},
    {"table", "table"},
    {"caption", "caption"},
    {"thead", "thead"},
    {"tbody", "tbody"},
    {"tfoot", "tfoot"},
    {"tr", "tr"},
    {"td", "td"},
    {"th", "th"},
    {"hr", "hr"},
    {"a", "a"},
}};

// Elements dropped with everything inside them.
constexpr std::array<const char*, 27> kDropped = {
    "script",   "style",    "head",   "title",  "template", "iframe", "frame",
    "frameset", "object",   "embed",  "applet", "noscript", "svg",    "math",
    "select",   "textarea", "button", "input",  "audio",    "video",  "canvas",
    "map",      "link",     "meta",   "base",   "param",    "noembed"};

const char* AllowedName(const char* name) {
    for (const Rename& rename : kAllowed) {
        if (std::strcmp(rename.from, name) == 0) {
            return rename.to;
        }
    }
    return nullptr;
}

bool IsDropped(const char* name) {
    for (const char* dropped : kDropped) {
        if (std::strcmp(dropped, name) == 0) {
            return true;
        }
    }
    return false;
}

bool IsVoid(const char* name) {
    return std::strcmp(name, "br") == 0 || std::strcmp(name, "hr") == 0;
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

bool IsSmallNumber(std::string_view text) {
    if (text.empty() || text.size() > 3) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Table parts and list items only where their parent makes them valid; elsewhere their
// content stands alone.
bool FitsItsParent(const char* name, std::string_view parent) {
    if (std::strcmp(name, "td") == 0 || std::strcmp(name, "th") == 0) {
        return parent == "tr";
    }
    if (std::strcmp(name, "tr") == 0) {
        return parent == "table" || parent == "thead" || parent == "tbody" || parent == "tfoot";
    }
    if (std::strcmp(name, "thead") == 0 || std::strcmp(name, "tbody") == 0 ||
        std::strcmp(name, "tfoot") == 0 || std::strcmp(name, "caption") == 0) {
        return parent == "table";
    }
    if (std::strcmp(name, "li") == 0) {
        return parent == "ul" || parent == "ol";
    }
    if (std::strcmp(name, "dt") == 0 || std::strcmp(name, "dd") == 0) {
        return parent == "dl";
    }
    return true;
}

class Writer {
public:
    explicit Writer(bool showAddresses) : showAddresses_(showAddresses) {}

    void Children(xmlNode* node, int depth) {
        for (xmlNode* child = node->children; child != nullptr; child = child->next) {
            Node(child, depth);
        }
    }

    std::string& out() { return out_; }

private:
    void Node(xmlNode* node, int depth) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) {
                const char* text = reinterpret_cast<const char*>(node->content);
                AppendEscaped(out_, HideAddresses(ValidUtf8(text), showAddresses_));
            }
            return;
        }
        if (node->type != XML_ELEMENT_NODE || node->name == nullptr) {
            return;  // comments, processing instructions, entity declarations
        }
        const char* name = reinterpret_cast<const char*>(node->name);
        if (IsDropped(name)) {
            return;
        }
        if (std::strcmp(name, "img") == 0) {
            const std::string alt = OneLine(ValidUtf8(Attribute(node, "alt")));
            if (!alt.empty()) {
                out_ += "[image: ";
                AppendEscaped(out_, HideAddresses(alt, showAddresses_));
                out_ += "]";
            }
            return;
        }
        const char* kept = depth < kMaxDepth ? AllowedName(name) : nullptr;
        if (kept != nullptr && std::strcmp(kept, "a") == 0 && insideLink_) {
            kept = nullptr;  // a link inside a link is not allowed
        }
        if (kept == nullptr || !FitsItsParent(kept, open_.empty() ? "" : open_.back())) {
            Children(node, depth + 1);
            return;
        }
        out_ += '<';
        out_ += kept;
        Attributes(node, kept);
        out_ += '>';
        if (IsVoid(kept)) {
            return;
        }
        const bool link = std::strcmp(kept, "a") == 0;
        if (link) {
            insideLink_ = true;
        }
        open_.push_back(kept);
        Children(node, depth + 1);
        open_.pop_back();
        if (link) {
            insideLink_ = false;
        }
        out_ += "</";
        out_ += kept;
        out_ += '>';
    }

    void Attributes(xmlNode* node, const char* kept) {
        if (std::strcmp(kept, "a") == 0) {
            const std::string href = Trim(ValidUtf8(Attribute(node, "href")));
            const bool web = StartsWithText(href, "http://") || StartsWithText(href, "https://");
            const bool mail = showAddresses_ && StartsWithText(href, "mailto:");
            if ((web || mail) && (showAddresses_ || href.find('@') == std::string::npos)) {
                out_ += " href=\"";
                AppendEscaped(out_, href);
                out_ += "\" rel=\"nofollow noopener noreferrer\"";
            }
            return;
        }
        if (std::strcmp(kept, "td") == 0 || std::strcmp(kept, "th") == 0) {
            for (const char* span : {"colspan", "rowspan"}) {
                const std::string value = Trim(Attribute(node, span));
                if (IsSmallNumber(value)) {
                    out_ += ' ';
                    out_ += span;
                    out_ += "=\"" + value + "\"";
                }
            }
        }
    }

    bool showAddresses_;
    bool insideLink_ = false;
    std::vector<std::string_view> open_;  // the elements written and not yet closed
    std::string out_;
};

}  // namespace

std::string SanitizeHtml(std::string_view html, bool showAddresses) {
    static std::once_flag started;
    std::call_once(started, [] { xmlInitParser(); });
    if (html.empty()) {
        return {};
    }
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NODEFDTD;
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
        htmlReadMemory(html.data(), static_cast<int>(std::min<std::size_t>(html.size(), INT32_MAX)),
                       nullptr, "UTF-8", options),
        xmlFreeDoc);
    if (!doc) {
        return Escaped(HideAddresses(ValidUtf8(html), showAddresses));
    }
    Writer writer(showAddresses);
    for (xmlNode* node = doc->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            writer.Children(node, 0);  // the html element itself is not written
        }
    }
    return std::move(writer.out());
}

}  // namespace corvanteer::archive
