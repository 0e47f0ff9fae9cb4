// Times ReadSection and WriteSection on a list data file whose roster holds 100,000 members,
// with the other usual sections around it. Prints the median of several runs in milliseconds.
//
//   build/bench/section_bench [members] [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/SectionFile.h"

using namespace corvanteer;

namespace {

Lines Members(int count, int salt) {
    Lines lines;
    lines.reserve(static_cast<size_t>(count));
    char buffer[96];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, "member%07d.%d@example%03d.org %d %06d", i, salt,
                      i % 997, i % 17 == 0 ? 1 : 0, (i * 7919 + salt) % 1000000);
        lines.emplace_back(buffer);
    }
    return lines;
}

Lines Template(const char* name, int count) {
    Lines lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(std::string(name) + " line " + std::to_string(i) +
                        ": Dear {Sender}, welcome to {ListName}.");
    }
    return lines;
}

struct Figures {
    double median = 0;
    double worst = 0;
};

// The median shows the steady state; the worst run is usually the first, when the process
// still has to fault in fresh memory for the file's bytes.
template <typename F>
Figures Measure(int runs, F&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work(i);
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

}  // namespace

int main(int argc, char** argv) {
    const int members = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    std::string base = (std::filesystem::temp_directory_path() / "section-bench-XXXXXX").string();
    std::vector<char> name(base.begin(), base.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = name.data();
    const std::string file = dir + "/news.dat";

    // Sections in the order a list's file grows: templates first, the roster in the middle.
    WriteSection(file, "Subscribe_Verify", Template("verify", 12));
    WriteSection(file, "Subscribe_Confirm", Template("confirm", 10));
    WriteSection(file, "Unsubscribe_Confirm", Template("unsubscribe", 8));
    WriteSection(file, "MemberList", Members(members, 0));
    WriteSection(file, "Moderators", {"mod@example.org"});
    WriteSection(file, "Blacklist", {"spam@example.net", "junk@example.com"});
    WriteSection(file, "Latest_Actions", Template("03/09/26 + someone@example.org", 20));
    WriteSection(file, "Signature", {"-- ", "news mailing list"});
    const auto size = std::filesystem::file_size(file);

    std::vector<Lines> replacements;
    for (int i = 0; i < runs; ++i) {
        replacements.push_back(Members(members, i + 1));
    }

    size_t readBytes = 0;
    const Figures read =
        Measure(runs, [&](int) { readBytes = ReadSection(file, "memberlist").size(); });
    const Figures write =
        Measure(runs, [&](int i) { WriteSection(file, "MemberList", replacements[i]); });
    const Figures smallWrite = Measure(runs, [&](int i) {
        WriteSection(file, "Latest_Actions", {"03/09/26 + run" + std::to_string(i)});
    });

    std::printf("file: %llu bytes, %d members, %d runs: median / worst in ms\n",
                static_cast<unsigned long long>(size), members, runs);
    std::printf("ReadSection(MemberList)              %8.2f / %8.2f  (%zu bytes)\n", read.median,
                read.worst, readBytes);
    std::printf("WriteSection(MemberList, replace)    %8.2f / %8.2f\n", write.median, write.worst);
    std::printf("WriteSection(Latest_Actions, small)  %8.2f / %8.2f\n", smallWrite.median,
                smallWrite.worst);

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
