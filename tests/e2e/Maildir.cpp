#include "e2e/Maildir.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <tuple>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::testing {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + ::strerror(errno));
}

void MakeFolder(const std::string& path, const MaildirOwner& owner) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        if (errno == EEXIST) {
            return;
        }
        ThrowErrno("cannot create", path);
    }
    if (::chown(path.c_str(), owner.uid, owner.gid) != 0) {
        ThrowErrno("cannot hand over", path);
    }
}

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "localhost";
    }
    std::string name = host;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), ':', '_');
    return name;
}

// Sort key of a file name: (0, seconds, microseconds, name) for names of the MaildirNames
// pattern, (1, 0, 0, name) for any other.
std::tuple<int, long long, long long, std::string> OrderKey(const std::string& name) {
    long long seconds = 0;
    long long micros = 0;
    int consumed = 0;
    if (std::sscanf(name.c_str(), "%lld.M%lldP%n", &seconds, &micros, &consumed) == 2 &&
        consumed > 0) {
        return {0, seconds, micros, name};
    }
    return {1, 0, 0, name};
}

}  // namespace

std::string CreateMaildir(const std::string& home, const MaildirOwner& owner) {
    const std::string maildir = home + "/Maildir";
    MakeFolder(home, owner);
    MakeFolder(maildir, owner);
    for (const char* sub : {"/tmp", "/new", "/cur"}) {
        MakeFolder(maildir + sub, owner);
    }
    return maildir;
}

MaildirNames::MaildirNames() : host_(HostName()) {}

std::string MaildirNames::Next() {
    using namespace std::chrono;
    const int64_t now = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    lastMicros_ = std::max(now, lastMicros_ + 1);
    ++counter_;
    return std::to_string(lastMicros_ / 1000000) + ".M" + ZeroPad(lastMicros_ % 1000000, 6) + "P" +
           std::to_string(::getpid()) + "Q" + std::to_string(counter_) + "." + host_;
}

std::string DeliverToMaildir(const std::string& maildir, std::string_view bytes,
                             MaildirNames& names, const MaildirOwner& owner) {
    const std::string name = names.Next();
    const std::string temp = maildir + "/tmp/" + name;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        ThrowErrno("cannot create", temp);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = error;
            ThrowErrno("cannot write", temp);
        }
        done += static_cast<size_t>(n);
    }
    if (::fchown(fd, owner.uid, owner.gid) != 0 || ::close(fd) != 0) {
        ThrowErrno("cannot finish", temp);
    }
    const std::string final = maildir + "/new/" + name;
    if (::rename(temp.c_str(), final.c_str()) != 0) {
        ThrowErrno("cannot move into new/:", temp);
    }
    return name;
}

std::vector<std::string> ReadMaildir(const std::string& maildir) {
    struct Entry {
        std::tuple<int, long long, long long, std::string> key;
        std::string path;
    };
    std::vector<Entry> entries;
    for (const char* sub : {"/new", "/cur"}) {
        const std::string folder = maildir + sub;
        for (const std::string& name : ListFiles(folder, "")) {
            entries.push_back({OrderKey(name), folder + "/" + name});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.key < b.key; });
    std::vector<std::string> messages;
    messages.reserve(entries.size());
    for (const Entry& entry : entries) {
        // A message the POP3 server deletes meanwhile is simply no longer there.
        if (auto bytes = ReadFileIfExists(entry.path)) {
            messages.push_back(std::move(*bytes));
        }
    }
    return messages;
}

}  // namespace corvanteer::testing
