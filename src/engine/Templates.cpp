#include "engine/Templates.h"

#include "support/Text.h"

namespace corvanteer {

std::string FillTemplate(std::string_view text, const ScanContext& context,
                         std::string_view listServerAddress, TemplatePassword password) {
    std::string result = ReplaceAll(text, "{Email}", context.SenderAddress);
    result = ReplaceAll(result, "{ListName}", context.ListName);
    result = ReplaceAll(result, "{ListAddress}", context.Settings.ListPostingAddress);
    result = ReplaceAll(result, "{ListServerAddress}", listServerAddress);
    if (context.Settings.RequirePassword) {
        const std::string value =
            password == TemplatePassword::Generated ? context.GeneratedPassword : std::string();
        result = ReplaceAll(result, "{Password}", value);
    }
    return result;
}

}  // namespace corvanteer
