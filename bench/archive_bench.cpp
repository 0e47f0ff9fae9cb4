// The HTML archive of a large list: building it from scratch, then bringing it up to date
// after one new posting.
//
//   archive_bench [postings=10000] [bytes=4096] [months=12]
//
// Writes that many postings of about that many bytes, spread over the months, into the
// monthly mbox files of a list in a fresh folder under /tmp (a fifth of them replies with
// References, a mix of plain, quoted-printable, base64 and HTML bodies, some with an
// attachment), then builds the site from scratch in a child process (so its peak resident
// memory is the build's alone), appends one reply and builds again. Prints a readable line
// per build and one line for scripts:
//   RESULT archive <postings> <scratch s> <scratch peak KB> <incremental s> <incremental peak
//          KB> <pages written by the incremental build> <scratch cpu s> <incremental cpu s>
// Goals: from scratch under 10 s and 200 MB, incremental under 0.5 s.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "engine/archive/ArchiveSite.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/MboxStore.h"

namespace {

using namespace corvanteer;
using namespace corvanteer::archive;

constexpr int64_t kJanuary2025 = 1735689600;  // 2025-01-01 00:00 UTC

std::string Text(int number, int bytes) {
    std::string text;
    for (int row = 0; static_cast<int>(text.size()) < bytes; ++row) {
        std::string line = "Line " + std::to_string(row) + " of posting " + std::to_string(number) +
                           ": the quick brown fox jumps over the dog";
        line.resize(72, row % 2 == 0 ? '.' : ' ');
        text += line + "\n";
    }
    return text;
}

std::string Base64(const std::string& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const unsigned c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const unsigned triple = (a << 16) | (b << 8) | c;
        out += digits[(triple >> 18) & 63];
        out += digits[(triple >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(triple >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[triple & 63] : '=';
        if ((column += 4) >= 76) {
            out += "\n";
            column = 0;
        }
    }
    return out + "\n";
}

std::string Posting(int number, int bytes, int64_t date, int parent) {
    char when[64];
    const std::time_t seconds = static_cast<std::time_t>(date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::strftime(when, sizeof when, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    std::string header = "From: Member " + std::to_string(number % 300) + " <member" +
                         std::to_string(number % 300) + "@example.org>\nTo: bench@example.org\n" +
                         "Message-ID: <bench." + std::to_string(number) + "@example.org>\n" +
                         "Date: " + when + "\nMIME-Version: 1.0\n";
    if (parent >= 0) {
        const std::string id = "<bench." + std::to_string(parent) + "@example.org>";
        header += "Subject: Re: topic " + std::to_string(parent) + "\nIn-Reply-To: " + id +
                  "\nReferences: " + id + "\n";
    } else {
        header += "Subject: topic " + std::to_string(number) + "\n";
    }
    const std::string text = Text(number, bytes - 400);
    switch (number % 20) {
        case 0:
        case 1:
        case 2:  // quoted-printable
            return header +
                   "Content-Type: text/plain; charset=iso-8859-1\n"
                   "Content-Transfer-Encoding: quoted-printable\n\nCaf=E9 " +
                   text;
        case 3:
        case 4:  // base64
            return header +
                   "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: "
                   "base64\n\n" +
                   Base64(text);
        case 5:  // HTML only
            return header + "Content-Type: text/html; charset=utf-8\n\n<html><body><p>" + text +
                   "</p><script>x()</script></body></html>\n";
        case 6:  // an attachment
            return header +
                   "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: "
                   "text/plain\n\n" +
                   text.substr(0, text.size() / 2) +
                   "--b\nContent-Type: application/octet-stream; name=data.bin\n"
                   "Content-Disposition: attachment; filename=data.bin\n"
                   "Content-Transfer-Encoding: base64\n\n" +
                   Base64(text.substr(text.size() / 2)) + "--b--\n";
        default:
            return header + "Content-Type: text/plain; charset=us-ascii\n\n" + text;
    }
}

struct Run {
    double seconds = 0;
    double cpu = 0;  // the child's user and system time
    long peakKb = 0;
    long pages = 0;
};

// Builds in a child process, so the peak resident memory is the build's alone.
Run BuildInChild(const MboxStore& store, const std::string& out, const SiteInfo& info) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        long pages = -1;
        try {
            pages = static_cast<long>(BuildSite(store, out, info).pagesWritten);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "build failed: %s\n", error.what());
        }
        if (::write(pipeEnds[1], &pages, sizeof pages) != sizeof pages) {
            ::_exit(1);
        }
        ::_exit(pages >= 0 ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    Run run;
    if (::read(pipeEnds[0], &run.pages, sizeof run.pages) != sizeof run.pages) {
        run.pages = -1;
    }
    ::close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKb = usage.ru_maxrss;
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the build failed\n");
        std::exit(1);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int postings = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int bytes = argc > 2 ? std::atoi(argv[2]) : 4096;
    const int months = argc > 3 ? std::atoi(argv[3]) : 12;
    char pattern[] = "/tmp/archive-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || postings < 1 || months < 1 || months > 120) {
        std::fprintf(stderr, "usage: archive_bench [postings] [bytes] [months 1-120]\n");
        return 2;
    }
    const std::string root = pattern;
    MboxStore store(root + "/mbox");
    SiteInfo info;
    info.listName = "bench";
    info.description = "A list of the bench.";
    info.listServerAddress = "server@example.org";
    info.membersNow = 300;

    // Postings in date order, each month's records appended as one unit.
    std::map<std::string, std::string> records;
    const int64_t span = static_cast<int64_t>(months) * 30 * 86400;
    std::size_t total = 0;
    for (int i = 0; i < postings; ++i) {
        const int64_t date = kJanuary2025 + span * i / postings;
        const int parent = i % 5 == 4 ? i - 1 - (i * 7) % std::min(i, 40) : -1;
        const std::string message = Posting(i, bytes, date, parent);
        total += message.size();
        const std::time_t seconds = static_cast<std::time_t>(date);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        records[MonthOf(utc.tm_year + 1900, utc.tm_mon + 1)] +=
            MboxRecord(message, "bench@example.org", date);
    }
    for (const auto& [month, bytesOfMonth] : records) {
        store.Append(month, bytesOfMonth);
    }
    std::printf("archive bench: %d postings, %.1f MB of messages in %zu months\n", postings,
                static_cast<double>(total) / 1e6, records.size());

    const std::string out = root + "/site";
    const Run scratch = BuildInChild(store, out, info);
    std::printf(
        "from scratch: %.3f s (cpu %.3f s), peak %.1f MB, %ld pages  (want < 10 s, "
        "< 200 MB)%s\n",
        scratch.seconds, scratch.cpu, static_cast<double>(scratch.peakKb) / 1024.0, scratch.pages,
        scratch.seconds < 10 && scratch.peakKb < 200 * 1024 ? "" : "  SHORT");

    const int64_t last = kJanuary2025 + span - 60;
    const std::time_t seconds = static_cast<std::time_t>(last);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    store.Append(
        MonthOf(utc.tm_year + 1900, utc.tm_mon + 1),
        MboxRecord(Posting(postings, bytes, last, postings - 3), "bench@example.org", last));
    const Run incremental = BuildInChild(store, out, info);
    std::printf(
        "after one new posting: %.3f s (cpu %.3f s), peak %.1f MB, %ld pages written  "
        "(want < 0.5 s)%s\n",
        incremental.seconds, incremental.cpu, static_cast<double>(incremental.peakKb) / 1024.0,
        incremental.pages, incremental.seconds < 0.5 ? "" : "  SHORT");
    std::printf("RESULT archive %d %.3f %ld %.3f %ld %ld %.3f %.3f\n", postings, scratch.seconds,
                scratch.peakKb, incremental.seconds, incremental.peakKb, incremental.pages,
                scratch.cpu, incremental.cpu);

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
