// Throughput of whole scan sessions. bench/engine.sh runs the comparison; this program does
// one part of it, in a fresh application directory under /tmp that it removes at the end:
//
//   engine_bench post HOST PORT [members=10000] [method=1] [body=2048] [CA_FILE]
//       A list of that many members, one posting from a member waiting in its temp folder,
//       mailboxes unconfigured: the scan flushes the (empty) queue and runs phase 3, which
//       sends the posting with a real TSmtpClient to the SMTP server at HOST:PORT, one copy
//       per member (method 1) or in Bcc parts (method 0), all on one SMTP session; with
//       CA_FILE over TLS from the first byte, the certificate checked against that CA.
//   engine_bench attach HOST PORT [members=1000] [megabytes=10]
//       As post, individually, with a posting of that many megabytes: a short text and a
//       binary attachment (base64) in multipart/mixed, which the list's signature joins as a
//       new last part, decorated once for all copies.
//   engine_bench rules FILES [members=100000] [body=2048]
//       FILES temp files from members of a list of that many members (AllowPostBy 1) with
//       posting method 2: phase 3 runs the posting rules on every file and sends nothing.
//
// Each prints a readable line and one "RESULT ..." line for the script:
//   RESULT post <method> <members> <seconds> <copies per second> <bytes of one copy> <cpu s>
//          <peak resident KB>
// A Bcc posting goes out in parts of MaxRecipientsPerMessage (the default, 100) recipients.
//   RESULT attach <members> <seconds> <bytes of one copy> <cpu s> <cpu s per GB sent>
//          <peak resident KB>
//   RESULT rules <files> <members> <seconds> <ms per message> <cpu s>

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/StoreConsole.h"
#include "engine/ListStore.h"
#include "engine/MailConnections.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SectionFile.h"
#include "support/SettingsStore.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace {

using namespace corvanteer;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kList = "bench";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string MemberAddress(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "member%06d@example.test", i);
    return text;
}

// A temp file as phase 2 writes it: header lines, empty line, body lines of 72 characters
// up to about bodyBytes, one more line break.
std::string TempFileText(const std::string& sender, int number, int bodyBytes) {
    std::string text = "Return-Path: <" + sender + ">\r\nFrom: Member " + std::to_string(number) +
                       " <" + sender + ">\r\nTo: list@example.test\r\nSubject: bench posting " +
                       std::to_string(number) +
                       "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n"
                       "Message-ID: <bench." +
                       std::to_string(number) + "@example.test>\r\n\r\n";
    const size_t end = text.size() + static_cast<size_t>(bodyBytes);
    for (int row = 0; text.size() < end; ++row) {
        std::string line = "line " + std::to_string(row) + " of posting " + std::to_string(number);
        line.resize(72, row % 2 == 0 ? '-' : '=');
        text += line + "\r\n";
    }
    return text + "\r\n";
}

// A temp file holding a posting of about megabytes MB: a text part and an attachment of
// pseudo-random bytes in base64 lines of 76 characters, in multipart/mixed.
std::string AttachmentTempFileText(const std::string& sender, int megabytes) {
    static constexpr char kBase64[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text = "From: Member 0 <" + sender +
                       ">\r\nTo: list@example.test\r\nSubject: the measurements\r\n"
                       "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b-42\"\r\n"
                       "\r\n--b-42\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                       "The measurements of the week are attached.\r\n\r\n--b-42\r\n"
                       "Content-Type: application/octet-stream; name=\"week.bin\"\r\n"
                       "Content-Disposition: attachment; filename=\"week.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    const size_t end = text.size() + static_cast<size_t>(megabytes) * 1000000;
    text.reserve(end + 100);
    uint32_t state = 12345;
    std::string line(76, 'A');
    while (text.size() < end) {
        for (char& c : line) {
            state = state * 1103515245u + 12345u;
            c = kBase64[(state >> 16) & 63];
        }
        text += line;
        text += "\r\n";
    }
    return text + "--b-42--\r\n\r\n";
}

class NullTimer : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

// An application directory with one list and its roster, and the services of a scan with the
// real clients and clock. Mailboxes are left unconfigured, so a scan is the queue flush and
// phase 3.
class Bed {
public:
    Bed(int members, int method)
        : dir_(MakeFolder()),
          paths_(AppPaths::ForDirectory(dir_)),
          store_(SettingsStore::Open(paths_.SettingsDatabase())),
          storeLock_(paths_.StoreLockFile()),
          console_(*store_, paths_),
          services_{paths_,  *store_,   pop3_,      smtp_,   clock_,
                    random_, observer_, storeLock_, console_} {
        CreateList(*store_, paths_, kList);
        const std::string key = paths_.ListKey(kList);
        store_->WriteRegString(key, "ListPostingAddress", "list@example.test");
        store_->WriteRegString(key, "ListTo", "Bench list <list@example.test>");
        store_->WriteRegInteger(key, "AllowPostBy", 1);
        store_->WriteRegInteger(key, "PostingMethod", method);
        store_->WriteRegBool(key, "HideSenderEmail", false);
        Lines roster;
        roster.reserve(static_cast<size_t>(members));
        for (int i = 0; i < members; ++i) {
            roster.push_back(MemberAddress(i) + " 0 " + std::to_string(100000 + i % 900000));
        }
        WriteSection(paths_.ListDataFile(kList), "MemberList", roster);
        WriteSection(paths_.ListDataFile(kList), "Signature",
                     {"-- ", "The bench list: list@example.test"});
        WriteSection(paths_.ListDataFile(kList), "ExtraHeaders",
                     {"X-List: bench", "List-Id: <bench.example.test>"});
        ForceDirectories(paths_.TempFolder(kList));
        // No List Server mailbox is configured; a login to nowhere must not wait long.
        pop3_.ConnectTimeoutMs = 2000;
        pop3_.FirstByteTimeoutMs = 2000;
    }
    ~Bed() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    Bed(const Bed&) = delete;
    Bed& operator=(const Bed&) = delete;

    // caFile: TLS from the first byte, the server's certificate checked against that CA.
    void PointSmtp(const std::string& host, int port, const std::string& caFile) {
        const std::string key = paths_.SettingsKey();
        store_->WriteRegString(key, "SMTPHost", host);
        store_->WriteRegInteger(key, "SMTPPort", port);
        if (!caFile.empty()) {
            store_->WriteRegString(key, "SMTPSecurity", "tls");
            store_->WriteRegString(key, "TlsCAFile", caFile);
        }
        smtp_.Server = SmtpServerFromSettings(console_.Globals());
        smtp_.ConnectTimeoutMs = 10000;
        smtp_.ReplyTimeoutMs = 10000;
        smtp_.SendTimeoutMs = 10000;
    }

    void AddTempFile(const std::string& text) {
        const std::string name = MakeUniqueFileName(paths_.TempFolder(kList), "tmp", random_);
        WriteNewFileSynced(name, text);
    }

    size_t TempFileCount() const { return ListFiles(paths_.TempFolder(kList), ".tmp").size(); }

    ScanOutcome Scan() {
        SessionLock lock(paths_.SessionLockFile());
        std::lock_guard<SessionLock> guard(lock);
        NullTimer timer;
        return RunScanSession(services_, timer);
    }

    // The size of the last message handed to the SMTP client.
    std::size_t LastMessageBytes() const { return smtp_.lastBytes; }

private:
    static std::string MakeFolder() {
        std::string pattern = "/tmp/corvanteer-engine-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a folder under /tmp");
        }
        return pattern;
    }

    std::string dir_;
    AppPaths paths_;
    std::unique_ptr<SettingsStore> store_;
    // Notes the size of each message it sends.
    class MeasuredSmtp : public TSmtpClient {
    public:
        SmtpTransaction Transact(const Envelope& envelope, bool partial) override {
            lastBytes = envelope.message.size();
            return TSmtpClient::Transact(envelope, partial);
        }
        std::size_t lastBytes = 0;
    };

    TPop3Client pop3_;
    MeasuredSmtp smtp_;
    SystemClock clock_;
    SystemRandom random_;
    ScanObserver observer_;
    StoreLock storeLock_;
    StoreConsole console_;
    Services services_;
};

void Check(const ScanOutcome& outcome) {
    if (!outcome.ok) {
        throw std::runtime_error(outcome.error);
    }
}

int Post(const std::string& host, int port, int members, int method, int bodyBytes,
         const std::string& caFile) {
    Bed bed(members, method);
    bed.PointSmtp(host, port, caFile);
    bed.AddTempFile(TempFileText(MemberAddress(0), 1, bodyBytes));

    const double cpu = CpuSeconds();
    const auto begin = SteadyClock::now();
    const ScanOutcome outcome = bed.Scan();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    const double cpuUsed = CpuSeconds() - cpu;
    Check(outcome);

    const int expected = method == 0 ? (members + 99) / 100 : members;
    if (outcome.counts.postingsSent != expected || outcome.counts.messagesQueued != 0) {
        throw std::runtime_error("the server accepted " +
                                 std::to_string(outcome.counts.postingsSent) + " of " +
                                 std::to_string(expected) + " transactions");
    }
    const size_t copyBytes = bed.LastMessageBytes();
    const int copies = members;
    std::printf(
        "post %s: %d copies to %d members in %.3f s = %.1f copies/s, %.2f s cpu, "
        "%zu bytes a copy\n",
        method == 0 ? "Bcc (one transaction)" : "individually", copies, members, seconds,
        copies / seconds, cpuUsed, copyBytes);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory %ld KB\n", usage.ru_maxrss);
    std::printf("RESULT post %d %d %.6f %.3f %zu %.3f %ld\n", method, members, seconds,
                copies / seconds, copyBytes, cpuUsed, usage.ru_maxrss);
    return 0;
}

int Attach(const std::string& host, int port, int members, int megabytes) {
    Bed bed(members, 1);
    bed.PointSmtp(host, port, "");
    bed.AddTempFile(AttachmentTempFileText(MemberAddress(0), megabytes));

    const double cpu = CpuSeconds();
    const auto begin = SteadyClock::now();
    const ScanOutcome outcome = bed.Scan();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    const double cpuUsed = CpuSeconds() - cpu;
    Check(outcome);
    if (outcome.counts.postingsSent != members || outcome.counts.messagesQueued != 0) {
        throw std::runtime_error("the server accepted " +
                                 std::to_string(outcome.counts.postingsSent) + " of " +
                                 std::to_string(members) + " copies");
    }
    const size_t copyBytes = bed.LastMessageBytes();
    const double gigabytes = static_cast<double>(copyBytes) * members / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "attach: %d copies of %zu bytes in %.3f s, %.2f s cpu = %.3f s cpu per GB sent, peak "
        "resident memory %ld KB\n",
        members, copyBytes, seconds, cpuUsed, cpuUsed / gigabytes, usage.ru_maxrss);
    std::printf("RESULT attach %d %.6f %zu %.3f %.4f %ld\n", members, seconds, copyBytes, cpuUsed,
                cpuUsed / gigabytes, usage.ru_maxrss);
    return 0;
}

int Rules(int files, int members, int bodyBytes) {
    Bed bed(members, 2);
    for (int i = 0; i < files; ++i) {
        // Senders spread over the whole roster, so the member test reads far into it.
        const int member = static_cast<int>((static_cast<long long>(i) * 7919) % members);
        bed.AddTempFile(TempFileText(MemberAddress(member), i, bodyBytes));
    }

    const double cpu = CpuSeconds();
    const auto begin = SteadyClock::now();
    const ScanOutcome outcome = bed.Scan();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    const double cpuUsed = CpuSeconds() - cpu;
    Check(outcome);
    if (bed.TempFileCount() != 0) {
        throw std::runtime_error("temp files were left unprocessed");
    }
    std::printf(
        "rules: %d temp files, %d members, method 2: %.3f s = %.3f ms/message, "
        "%.2f s cpu\n",
        files, members, seconds, seconds * 1000 / files, cpuUsed);
    std::printf("RESULT rules %d %d %.6f %.4f %.3f\n", files, members, seconds,
                seconds * 1000 / files, cpuUsed);
    return 0;
}

int IntArg(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: engine_bench post HOST PORT [members=10000] [method=1] [body=2048] "
                 "[CA_FILE]\n"
                 "       engine_bench attach HOST PORT [members=1000] [megabytes=10]\n"
                 "       engine_bench rules FILES [members=100000] [body=2048]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "post" && argc >= 4) {
            return Post(argv[2], std::atoi(argv[3]), IntArg(argc, argv, 4, 10000),
                        IntArg(argc, argv, 5, 1), IntArg(argc, argv, 6, 2048),
                        argc > 7 ? argv[7] : "");
        }
        if (mode == "attach" && argc >= 4) {
            return Attach(argv[2], std::atoi(argv[3]), IntArg(argc, argv, 4, 1000),
                          IntArg(argc, argv, 5, 10));
        }
        if (mode == "rules" && argc >= 3) {
            return Rules(std::atoi(argv[2]), IntArg(argc, argv, 3, 100000),
                         IntArg(argc, argv, 4, 2048));
        }
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine_bench: %s\n", error.what());
        return 1;
    }
}
