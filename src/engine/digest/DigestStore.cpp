#include "engine/digest/DigestStore.h"

#include <algorithm>
#include <filesystem>

#include "support/Files.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr const char* kBatchFile = "batch.txt";
constexpr size_t kNumberDigits = 8;

// "00000001.eml" and the like: a collected posting.
bool IsPostingName(std::string_view name) {
    if (name.size() != kNumberDigits + 4 || name.substr(kNumberDigits) != ".eml") {
        return false;
    }
    return std::all_of(name.begin(), name.begin() + kNumberDigits,
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::string KindFile(DeliveryMode kind) {
    return std::string(DeliveryModeName(kind)) + ".eml";
}

void Remove(const std::string& path) {
    if (!DeleteFileIfExists(path) && FileExists(path)) {
        throw Failure(ErrorKind::Io, "Cannot delete " + path);
    }
}

}  // namespace

std::string DigestFolder(const AppPaths& paths, std::string_view listName) {
    return paths.appDir + "Lists/" + std::string(listName) + "/digest/";
}

DigestStore::DigestStore(const AppPaths& paths, std::string_view listName)
    : folder_(DigestFolder(paths, listName)) {}

std::vector<std::string> DigestStore::Postings() const {
    std::vector<std::string> names = ListFiles(folder_, ".eml");
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return !IsPostingName(name); }),
                names.end());
    std::sort(names.begin(), names.end());
    return names;
}

void DigestStore::Collect(std::string_view posting) {
    ForceDirectories(folder_);
    // Numbered past every posting present and every one a batch names: a batch.txt left by a
    // stop in Finish may still name postings already gone, and must never take a new one.
    std::vector<std::string> names = Postings();
    if (std::optional<DigestBatch> batch = OpenBatch()) {
        names.insert(names.end(), batch->postings.begin(), batch->postings.end());
    }
    long long next = 1;
    for (const std::string& name : names) {
        next = std::max(next, std::stoll(name.substr(0, kNumberDigits)) + 1);
    }
    WriteFileAtomic(Path(ZeroPad(next, kNumberDigits) + ".eml"), posting);
    SyncFolder(folder_);
}

std::vector<std::string> DigestStore::Waiting() const {
    std::vector<std::string> names = Postings();
    if (std::optional<DigestBatch> batch = OpenBatch()) {
        std::vector<std::string> carried = batch->postings;
        std::sort(carried.begin(), carried.end());
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&carried](const std::string& name) {
                                       return std::binary_search(carried.begin(), carried.end(),
                                                                 name);
                                   }),
                    names.end());
    }
    return names;
}

uint64_t DigestStore::WaitingBytes() const {
    uint64_t bytes = 0;
    for (const std::string& name : Waiting()) {
        std::error_code error;
        const auto size = std::filesystem::file_size(Path(name), error);
        bytes += error ? 0 : size;
    }
    return bytes;
}

std::string DigestStore::Read(const std::string& name) const {
    return ReadFile(Path(name));
}

std::optional<DigestBatch> DigestStore::OpenBatch() const {
    std::optional<std::string> text = ReadFileIfExists(Path(kBatchFile));
    if (!text) {
        return std::nullopt;
    }
    DigestBatch batch;
    bool numbered = false;
    for (const std::string& line : TextToLines(*text)) {
        const std::string key = Before(line, " ");
        const std::string value = After(line, " ");
        if (key == "Volume") {
            numbered = TryParseInt(value, batch.volume);
        } else if (key == "Issue") {
            numbered = numbered && TryParseInt(value, batch.issue);
        } else if (key == "Day") {
            batch.day = value;
        } else if (key == "Kind") {
            if (std::optional<DeliveryMode> kind = ParseDeliveryMode(value)) {
                batch.kinds.push_back(*kind);
            }
        } else if (key == "Posting" && IsPostingName(value)) {
            batch.postings.push_back(value);
        }
    }
    if (!numbered || batch.day.empty()) {
        return std::nullopt;
    }
    return batch;
}

void DigestStore::WriteBatchFile(const DigestBatch& batch) const {
    Lines lines = {"Volume " + std::to_string(batch.volume), "Issue " + std::to_string(batch.issue),
                   "Day " + batch.day};
    for (DeliveryMode kind : batch.kinds) {
        lines.push_back(std::string("Kind ") + DeliveryModeName(kind));
    }
    for (const std::string& name : batch.postings) {
        lines.push_back("Posting " + name);
    }
    WriteFileAtomic(Path(kBatchFile), LinesToText(lines));
    SyncFolder(folder_);
}

void DigestStore::StartBatch(const DigestBatch& batch, const std::vector<std::string>& messages) {
    ForceDirectories(folder_);
    for (size_t i = 0; i < batch.kinds.size() && i < messages.size(); ++i) {
        WriteFileAtomic(Path(KindFile(batch.kinds[i])), messages[i]);
    }
    WriteBatchFile(batch);
}

std::optional<std::string> DigestStore::Message(DeliveryMode kind) const {
    return ReadFileIfExists(Path(KindFile(kind)));
}

void DigestStore::KindDone(DigestBatch& batch, DeliveryMode kind) {
    batch.kinds.erase(std::remove(batch.kinds.begin(), batch.kinds.end(), kind), batch.kinds.end());
    if (batch.kinds.empty()) {
        Finish(batch);
        Remove(Path(KindFile(kind)));
        return;
    }
    WriteBatchFile(batch);
    Remove(Path(KindFile(kind)));
}

void DigestStore::Finish(const DigestBatch& batch) {
    // batch.txt goes last: a stop on the way leaves it naming postings already gone, which
    // the next session skips (and Collect never reuses their names).
    for (const std::string& name : batch.postings) {
        Remove(Path(name));
    }
    for (DeliveryMode kind : {DeliveryMode::Digest, DeliveryMode::PlainDigest}) {
        Remove(Path(KindFile(kind)));
    }
    Remove(Path(kBatchFile));
    SyncFolder(folder_);
}

}  // namespace corvanteer
