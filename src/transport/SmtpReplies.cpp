#include "transport/SmtpReplies.h"

namespace corvanteer {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "d.ddd.ddd": a class digit, then two dot-separated numbers of one to three digits.
bool IsEnhanced(std::string_view code) {
    if (code.size() < 5 || !IsDigit(code[0]) || code[1] != '.') {
        return false;
    }
    int numbers = 0;
    std::size_t digits = 0;
    for (std::size_t i = 2; i < code.size(); ++i) {
        if (IsDigit(code[i])) {
            if (++digits > 3) {
                return false;
            }
        } else if (code[i] == '.' && digits > 0 && numbers == 0) {
            ++numbers;
            digits = 0;
        } else {
            return false;
        }
    }
    return numbers == 1 && digits > 0;
}

}  // namespace

int ReplyCode(std::string_view reply) {
    if (reply.size() < 3 || !IsDigit(reply[0]) || !IsDigit(reply[1]) || !IsDigit(reply[2]) ||
        (reply.size() > 3 && reply[3] != ' ' && reply[3] != '-')) {
        return 0;
    }
    return (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
}

std::string_view EnhancedCode(std::string_view reply) {
    if (ReplyCode(reply) == 0 || reply.size() < 5) {
        return {};
    }
    std::string_view rest = reply.substr(4);
    const std::size_t end = rest.find(' ');
    std::string_view code = rest.substr(0, end);
    return IsEnhanced(code) ? code : std::string_view();
}

bool IsOverLimitReply(std::string_view reply) {
    const int code = ReplyCode(reply);
    const std::string_view enhanced = EnhancedCode(reply);
    if (code == 421 || code == 450 || code == 451) {
        return enhanced.substr(0, 4) == "4.7." || enhanced == "4.4.5";
    }
    return code == 452 && enhanced == "4.5.3";
}

bool IsTransientReply(std::string_view reply) {
    const int code = ReplyCode(reply);
    return code >= 400 && code < 500;
}

bool IsPermanentReply(std::string_view reply) {
    const int code = ReplyCode(reply);
    return code >= 500 && code < 600;
}

}  // namespace corvanteer
