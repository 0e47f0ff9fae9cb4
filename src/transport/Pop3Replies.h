#pragma once

// How the POP3 client takes its replies apart as they arrive (RFC 1939): one-line replies,
// and multi-line ones decoded on the fly into one buffer, so that a message costs its own
// size and not a string per line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "transport/ReplyReader.h"

namespace corvanteer {

// A one-line reply: everything up to and including the first LF. Longer than maxBytes
// without one: TooLong.
class LineSink final : public ReplySink {
public:
    LineSink(std::string& text, std::size_t maxBytes) : text_(text), max_(maxBytes) {}
    std::size_t Take(std::string_view bytes) override;
    State Now() const override { return state_; }

private:
    std::string& text_;
    std::size_t max_;
    State state_ = State::More;
};

// A multi-line reply: the status line, then (unless the status line begins with "-") the
// lines up to the line "." alone. The status line goes to status with its line end; the
// lines to content, each ended by CR LF whatever ended it on the wire (CR LF, a lone LF or a
// lone CR), with the stuffing dot taken off when unstuff is set.
class MultiLineSink final : public ReplySink {
public:
    struct Limits {
        bool unstuff = true;
        // The most octets of content taken (counted as on the wire, line ends included, the
        // stuffing dots not): past it the reply is TooLong. 0: no bound.
        std::size_t maxOctets = 0;
        // content keeps at most this many octets; the rest is read and counted, not kept.
        std::size_t keepOctets = SIZE_MAX;
    };

    MultiLineSink(std::string& status, std::string& content, const Limits& limits);
    std::size_t Take(std::string_view bytes) override;
    State Now() const override { return state_; }
    // Octets of content seen so far, counted as for maxOctets.
    std::size_t Octets() const { return octets_; }

private:
    std::size_t TakeStatus(std::string_view bytes);
    std::size_t TakeContent(std::string_view bytes);
    void Keep(std::string_view bytes);
    void EndLine();

    std::string& status_;
    std::string& content_;
    Limits limits_;
    State state_ = State::More;
    bool inContent_ = false;
    bool lineStart_ = true;   // the next byte begins a line
    bool dotHeld_ = false;    // the line so far is one "." (the end, or a stuffing dot)
    bool endingDot_ = false;  // the line "." and a CR came: the end, once its LF is taken
    bool skipLf_ = false;     // a CR ended the last line: an LF right after belongs to it
    std::size_t octets_ = 0;
};

// What LIST or UIDL tells of the messages: the second word of each line "n word" of a
// multi-line reply's content, by message number. Numbers that are not numbers, 0, or beyond
// maxNumber are passed over; a number listed twice keeps its first word.
std::unordered_map<std::size_t, std::string> ListedWords(std::string_view lines,
                                                         std::size_t maxNumber);

}  // namespace corvanteer
