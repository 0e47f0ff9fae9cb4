// Template filling: FillTemplate on any template text and values.
//
// Input: the template, "%%", the sender address, list name, list address, List Server
// address and generated password one a line, "%%", flags ("p": the list requires passwords,
// "g": the answer carries the generated password).
//
// Checked: a text without "{" passes unchanged; a password never reaches an answer that
// withholds it, nor one of a list without passwords; and where every "{" of the template
// opens a whole variable and no value holds a "{", the result is the template with each
// variable replaced by its value (the template with its "{" turned into variables, built from
// the input, is checked that way too).

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "engine/Templates.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

// Marks the generated password; taken out of everything else so that its presence in a
// result can only come from the password.
constexpr char kPasswordMark = '\x01';

struct Variable {
    const char* token;
    std::string value;
    bool active;
};

std::vector<Variable> Variables(const ScanContext& context, const std::string& listServer,
                                TemplatePassword password) {
    const bool generated = password == TemplatePassword::Generated;
    return {{"{Email}", context.SenderAddress, true},
            {"{ListName}", context.ListName, true},
            {"{ListAddress}", context.Settings.ListPostingAddress, true},
            {"{ListServerAddress}", listServer, true},
            {"{Password}", generated ? context.GeneratedPassword : std::string(),
             context.Settings.RequirePassword}};
}

// The template with each variable at each "{" replaced by its value; nullopt when a "{"
// opens no active variable.
std::optional<std::string> ReplaceTokens(const std::string& text,
                                         const std::vector<Variable>& variables) {
    std::string result;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t brace = text.find('{', pos);
        result.append(text, pos, brace == std::string::npos ? std::string::npos : brace - pos);
        if (brace == std::string::npos) {
            break;
        }
        const Variable* found = nullptr;
        for (const auto& variable : variables) {
            if (variable.active &&
                text.compare(brace, std::strlen(variable.token), variable.token) == 0) {
                found = &variable;
            }
        }
        if (found == nullptr) {
            return std::nullopt;
        }
        result += found->value;
        pos = brace + std::strlen(found->token);
    }
    return result;
}

// The input's text with each "{" and the byte after it turned into a variable (by that
// byte's value), so that every "{" opens one.
std::string WithVariables(const std::string& text) {
    static constexpr const char* kTokens[] = {"{Email}", "{ListName}", "{ListAddress}",
                                              "{ListServerAddress}", "{Password}"};
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '{') {
            result += text[i];
        } else if (i + 1 < text.size()) {
            result += kTokens[static_cast<unsigned char>(text[++i]) % 5];
        }
    }
    return result;
}

void Check(const std::string& text, const ScanContext& context, const std::string& listServer,
           TemplatePassword password, bool valuesHaveBraces) {
    const std::string result = FillTemplate(text, context, listServer, password);
    if (text.find('{') == std::string::npos) {
        FUZZ_CHECK(result == text);
    }
    if (password == TemplatePassword::Withheld || !context.Settings.RequirePassword) {
        FUZZ_CHECK(result.find(kPasswordMark) == std::string::npos);
    }
    if (!valuesHaveBraces) {
        const auto variables = Variables(context, listServer, password);
        const std::optional<std::string> expected = ReplaceTokens(text, variables);
        if (expected) {
            FUZZ_CHECK(result == *expected);
        }
    }
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 3);
    const std::string text = Without(parts[0], std::string_view(&kPasswordMark, 1));
    Lines values = TextToLines(Without(parts[1], std::string_view(&kPasswordMark, 1)));
    values.resize(5);

    ScanContext context;
    context.SenderAddress = values[0];
    context.ListName = values[1];
    context.Settings.ListPostingAddress = values[2];
    const std::string listServer = values[3];
    context.GeneratedPassword = kPasswordMark + values[4];
    context.Settings.RequirePassword = parts[2].find('p') != std::string::npos;
    const TemplatePassword password = parts[2].find('g') != std::string::npos
                                          ? TemplatePassword::Generated
                                          : TemplatePassword::Withheld;
    bool valuesHaveBraces = false;
    for (const auto& value : values) {
        valuesHaveBraces = valuesHaveBraces || value.find('{') != std::string::npos;
    }

    Check(text, context, listServer, password, valuesHaveBraces);
    Check(WithVariables(text), context, listServer, password, valuesHaveBraces);
    return 0;
}
