#include "transport/Pop3Replies.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace corvanteer {
namespace {

// A status line longer than this is no reply.
constexpr std::size_t kMaxStatusLine = 64 * 1024;

}  // namespace

std::size_t LineSink::Take(std::string_view bytes) {
    const std::size_t end = bytes.find('\n');
    const std::size_t taken = end == std::string_view::npos ? bytes.size() : end + 1;
    text_.append(bytes.substr(0, taken));
    if (text_.size() > max_) {
        state_ = State::TooLong;
    } else if (end != std::string_view::npos) {
        state_ = State::Done;
    }
    return taken;
}

MultiLineSink::MultiLineSink(std::string& status, std::string& content, const Limits& limits)
    : status_(status), content_(content), limits_(limits) {}

std::size_t MultiLineSink::Take(std::string_view bytes) {
    std::size_t taken = 0;
    if (!inContent_) {
        taken = TakeStatus(bytes);
        if (!inContent_) {
            return taken;
        }
    }
    return taken + TakeContent(bytes.substr(taken));
}

std::size_t MultiLineSink::TakeStatus(std::string_view bytes) {
    const std::size_t end = bytes.find('\n');
    const std::size_t taken = end == std::string_view::npos ? bytes.size() : end + 1;
    status_.append(bytes.substr(0, taken));
    if (status_.size() > kMaxStatusLine) {
        state_ = State::TooLong;
    } else if (end != std::string_view::npos) {
        // A negative reply is its status line alone.
        if (status_.front() == '-') {
            state_ = State::Done;
        } else {
            inContent_ = true;
        }
    }
    return taken;
}

void MultiLineSink::Keep(std::string_view bytes) {
    if (content_.size() < limits_.keepOctets) {
        content_.append(bytes.substr(0, limits_.keepOctets - content_.size()));
    }
}

void MultiLineSink::EndLine() {
    Keep("\r\n");
    lineStart_ = true;
}

std::size_t MultiLineSink::TakeContent(std::string_view bytes) {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size && state_ == State::More) {
        if (skipLf_) {
            skipLf_ = false;
            if (data[i] == '\n') {
                ++octets_;
                ++i;
                continue;
            }
        }
        if (endingDot_) {
            // ".", CR: the end; its LF is taken with it when it comes.
            if (data[i] == '\n') {
                ++i;
            }
            state_ = State::Done;
            break;
        }
        if (dotHeld_) {
            dotHeld_ = false;
            if (data[i] == '\n') {
                state_ = State::Done;
                return i + 1;
            }
            if (data[i] == '\r') {
                endingDot_ = true;
                ++i;
                continue;
            }
            // A stuffing dot (or, unstuffed, a dot of the line itself).
            if (!limits_.unstuff) {
                Keep(".");
                ++octets_;
            }
        } else if (lineStart_ && data[i] == '.') {
            dotHeld_ = true;
            lineStart_ = false;
            ++i;
            continue;
        }
        lineStart_ = false;
        // The rest of the line, up to its end or the end of what is here.
        std::size_t end = i;
        while (end < size && data[end] != '\r' && data[end] != '\n') {
            ++end;
        }
        const bool crLf = end + 1 < size && data[end] == '\r' && data[end + 1] == '\n';
        if (crLf) {
            // The usual line: taken whole, line end included.
            Keep(bytes.substr(i, end + 2 - i));
            octets_ += end + 2 - i;
            lineStart_ = true;
            i = end + 2;
        } else {
            Keep(bytes.substr(i, end - i));
            octets_ += end - i;
            i = end;
            if (end < size) {
                skipLf_ = data[end] == '\r';
                ++octets_;
                ++i;
                EndLine();
            }
        }
        if (limits_.maxOctets != 0 && octets_ > limits_.maxOctets) {
            state_ = State::TooLong;
        }
    }
    return i;
}

std::unordered_map<std::size_t, std::string> ListedWords(std::string_view lines,
                                                         std::size_t maxNumber) {
    std::unordered_map<std::size_t, std::string> words;
    while (!lines.empty()) {
        const std::size_t cut = lines.find("\r\n");
        std::string_view line = lines.substr(0, cut);
        lines.remove_prefix(cut == std::string_view::npos ? lines.size() : cut + 2);
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) {
            continue;
        }
        std::size_t number = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + blank, number);
        if (error != std::errc() || end != line.data() + blank || number == 0 ||
            number > maxNumber) {
            continue;
        }
        std::string_view word = line.substr(blank + 1);
        word = word.substr(0, word.find(' '));
        words.try_emplace(number, word);
    }
    return words;
}

}  // namespace corvanteer
