// Building a digest: 1,000 postings of about 4 KB (the default) collected in a list's digest
// folder, read back and made into the MIME digest, then the plain digest, in a fresh
// application directory under /tmp that is removed at the end.
//
//   digest_bench [postings=1000] [bytes=4096] [runs=5]
//
// Prints each run and one line per kind for scripts:
//   RESULT digest <kind> <postings> <median seconds> <worst seconds> <digest bytes>
//          <peak resident KB>
// The peak resident memory is the process's after that kind's runs (the postings and the
// program included), so the MIME figure is the one to compare with the goal of 64 MB.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/digest/DigestAssembly.h"
#include "engine/digest/DigestStore.h"
#include "support/AppPaths.h"
#include "support/Random.h"
#include "support/Text.h"

namespace {

using namespace corvanteer;
using SteadyClock = std::chrono::steady_clock;

long PeakResidentKB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A posting as a list distributes it: the usual header block, a text body of about `bytes`
// in lines of 72 characters (a little non-ASCII text, quoted-printable), and a signature.
std::string Posting(int number, size_t bytes) {
    std::string message =
        "To: bench@example.org\r\nFrom: Member " + std::to_string(number) +
        " <bench@example.org>\r\nReply-To: bench@example.org\r\nSubject: Topic number " +
        std::to_string(number) + "\r\nMessage-ID: <Corvanteer-bench" + std::to_string(number) +
        "-20260309140500.abcdefghijkl@smtp.example.org>\r\nX-Mailer: Corvanteer\r\nDate: Mon, 9 "
        "Mar 2026 14:05:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; "
        "charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\nList-Id: bench "
        "<bench.example.org>\r\nPrecedence: list\r\n\r\n";
    const std::string line =
        "The quick brown fox jumps over the lazy dog near the caf=C3=A9 again.. \r\n";
    while (message.size() + line.size() + 40 < bytes) {
        message += line;
    }
    message += "-- \r\nbench mailing list\r\n";
    return message;
}

struct Timing {
    double median = 0;
    double worst = 0;
    size_t bytes = 0;
};

template <class Build>
Timing TimeRuns(int runs, Build&& build) {
    std::vector<double> seconds;
    Timing timing;
    for (int run = 0; run < runs; ++run) {
        const auto begin = SteadyClock::now();
        timing.bytes = build().size();
        seconds.push_back(std::chrono::duration<double>(SteadyClock::now() - begin).count());
    }
    std::sort(seconds.begin(), seconds.end());
    timing.median = seconds[seconds.size() / 2];
    timing.worst = seconds.back();
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const size_t bytes = argc > 2 ? static_cast<size_t>(std::atol(argv[2])) : 4096;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    char pattern[] = "/tmp/corvanteer-digest-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string home = pattern;
    const AppPaths paths = AppPaths::ForDirectory(home);
    DigestStore store(paths, "bench");
    for (int i = 1; i <= count; ++i) {
        store.Collect(Posting(i, bytes));
    }
    const DigestEnvelope envelope{"bench",
                                  1,
                                  1,
                                  {"To: bench@example.org", "From: bench@example.org",
                                   "Subject: " + DigestSubject("bench", 1, 1),
                                   "Date: Mon, 9 Mar 2026 14:05:00 +0000", "Precedence: list"}};
    std::printf("digest bench: %d postings of about %zu bytes (%llu bytes in all), %d runs\n",
                count, bytes, static_cast<unsigned long long>(store.WaitingBytes()), runs);
    const long before = PeakResidentKB();

    // Each run reads the postings from the store, as a scan does, and builds the digest.
    auto read = [&store] {
        std::vector<std::string> postings;
        for (const std::string& name : store.Waiting()) {
            postings.push_back(store.Read(name));
        }
        return postings;
    };
    SystemRandom random;
    const Timing mime = TimeRuns(runs, [&] { return BuildMimeDigest(envelope, read(), random); });
    const long mimePeak = PeakResidentKB();
    const Timing plain = TimeRuns(runs, [&] { return BuildPlainDigest(envelope, read()); });
    const long plainPeak = PeakResidentKB();

    std::printf("peak resident before building: %.1f MB\n", before / 1024.0);
    std::printf("MIME digest:  median %.3f s, worst %.3f s, %zu bytes, peak resident %.1f MB\n",
                mime.median, mime.worst, mime.bytes, mimePeak / 1024.0);
    std::printf("plain digest: median %.3f s, worst %.3f s, %zu bytes, peak resident %.1f MB\n",
                plain.median, plain.worst, plain.bytes, plainPeak / 1024.0);
    std::printf("RESULT digest mime %d %.4f %.4f %zu %ld\n", count, mime.median, mime.worst,
                mime.bytes, mimePeak);
    std::printf("RESULT digest plain %d %.4f %.4f %zu %ld\n", count, plain.median, plain.worst,
                plain.bytes, plainPeak);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
