// A small cache of parsed profiles, keyed by the file's stamp (device, inode, size and the
// modification and change times in nanoseconds).
#include "profile/cache.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

#include "posix_file.h"
#include "profile/encoding.h"

namespace winshim {
namespace {

// File times advance in clock ticks, not nanoseconds, so a file changed twice within one tick
// keeps its stamp when its size stays too. A document is cached only when its file's times lie
// this far in the past (more than any file system's tick), so every later change shows.
constexpr int64_t kSettledNs = Ns(std::chrono::seconds(3));
// A few files, and a bound on the text they hold, whatever their sizes.
constexpr size_t kMaxEntries = 4;
constexpr size_t kMaxCachedTextBytes = size_t{8} << 20;

struct Entry {
    FileStamp stamp;
    std::shared_ptr<const ProfileDocument> document;
};

struct Cache {
    std::mutex mutex;
    std::vector<Entry> entries;  // most recently used last
};

[[nodiscard]] Cache& TheCache() {
    static Cache* cache = new Cache;  // never destroyed: reads may come during exit
    return *cache;
}

[[nodiscard]] bool IsSettled(const FileStamp& stamp) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t nowNs = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
    return std::max(stamp.modifiedNs, stamp.changedNs) < nowNs - kSettledNs;
}

[[nodiscard]] std::shared_ptr<const ProfileDocument> Find(const FileStamp& stamp) {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
        if (!(it->stamp == stamp)) continue;
        Entry entry = std::move(*it);
        cache.entries.erase(it);
        cache.entries.push_back(std::move(entry));
        return cache.entries.back().document;
    }
    return nullptr;
}

void Keep(const FileStamp& stamp, const std::shared_ptr<const ProfileDocument>& document) {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    std::erase_if(cache.entries, [&](const Entry& e) {
        return e.stamp.device == stamp.device && e.stamp.inode == stamp.inode;
    });
    cache.entries.push_back(Entry{stamp, document});
    size_t total = 0;
    for (const Entry& e : cache.entries) total += e.document->Text().size();
    while (!cache.entries.empty() &&
           (cache.entries.size() > kMaxEntries || total > kMaxCachedTextBytes)) {
        total -= cache.entries.front().document->Text().size();
        cache.entries.erase(cache.entries.begin());
    }
}

}  // namespace

std::shared_ptr<const ProfileDocument> LoadProfileDocument(const std::string& path,
                                                           LoadOutcome* outcome, DWORD* error) {
    FileStamp now;
    if (StampOfPath(path, &now)) {
        if (auto cached = Find(now)) {
            *outcome = LoadOutcome::kLoaded;
            return cached;
        }
    }
    std::string bytes;
    FileStamp stamp;
    *outcome = LoadProfileBytes(path, &bytes, &stamp, error);
    if (*outcome != LoadOutcome::kLoaded) return nullptr;
    DecodedText decoded = DecodeProfileBytes(std::move(bytes));
    if (decoded.text.size() > kMaxProfileTextBytes) {
        *outcome = LoadOutcome::kFailed;
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    auto document = std::make_shared<const ProfileDocument>(std::move(decoded.text));
    if (!(stamp == FileStamp{}) && IsSettled(stamp)) Keep(stamp, document);
    return document;
}

}  // namespace winshim
