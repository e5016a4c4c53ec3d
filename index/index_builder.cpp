#include "index/index_builder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <queue>

#include "platform/error.h"
#include "search/shown_text_search.h"

namespace pelmaro::index {
namespace {

// The distinct trigrams of one page's shown text, taken as it arrives in pieces; a trigram may
// span pieces.
class PageTrigrams final : public ShownTextSink {
public:
    PageTrigrams() : seen_((std::size_t{1} << 24) / 64) {}

    bool take(std::string_view piece) override {
        for (const char c : piece) {
            tail_ = ((tail_ << 8) | static_cast<unsigned char>(c)) & 0xffffff;
            if (++length_ >= 3) {
                std::uint64_t& word = seen_[tail_ >> 6];
                const std::uint64_t bit = std::uint64_t{1} << (tail_ & 63);
                if ((word & bit) == 0) {
                    word |= bit;
                    touched_.push_back(tail_);
                }
            }
        }
        return false;  // the whole text is wanted
    }
    void restart() override { clear(); }

    std::size_t count() const { return touched_.size(); }

    // Hands the page's trigrams on as (trigram, page) pairs, and forgets them.
    void moveInto(std::vector<std::uint64_t>& pairs, std::uint32_t page) {
        for (const std::uint32_t trigram : touched_) {
            pairs.push_back(static_cast<std::uint64_t>(trigram) << 32 | page);
        }
        clear();
    }
    void clear() {
        for (const std::uint32_t trigram : touched_) {
            seen_[trigram >> 6] = 0;
        }
        touched_.clear();
        tail_ = 0;
        length_ = 0;
    }

private:
    std::vector<std::uint64_t> seen_;  // a bit for each of the 2^24 trigrams
    std::vector<std::uint32_t> touched_;
    std::uint32_t tail_ = 0;
    std::size_t length_ = 0;
};

// A sorted run of pairs in an anonymous temporary file, gone when closed (or when the process
// dies).
class Run {
public:
    explicit Run(const std::vector<std::uint64_t>& sorted) : file_(std::tmpfile()) {
        if (file_ == nullptr ||
            std::fwrite(sorted.data(), sizeof(std::uint64_t), sorted.size(), file_.get()) !=
                sorted.size() ||
            std::fflush(file_.get()) != 0) {
            throwCannotCreate("temporary index run", errno);
        }
        std::rewind(file_.get());
        buffer_.resize(1 << 13);
    }

    // The next pair, or false at the end.
    bool next(std::uint64_t& pair) {
        if (at_ == filled_) {
            filled_ =
                std::fread(buffer_.data(), sizeof(std::uint64_t), buffer_.size(), file_.get());
            at_ = 0;
            if (filled_ == 0) {
                if (std::ferror(file_.get()) != 0) {
                    throwCannotOpen("temporary index run", errno);
                }
                return false;
            }
        }
        pair = buffer_[at_++];
        return true;
    }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::vector<std::uint64_t> buffer_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
};

// Gathers sorted pairs into posting lists.
class PostingWriter {
public:
    void add(std::uint64_t pair) {
        const auto trigram = static_cast<std::uint32_t>(pair >> 32);
        const auto page = static_cast<std::uint32_t>(pair);
        if (entries_.empty() || entries_.back().trigram != trigram) {
            entries_.push_back({trigram, 0, postings_.size()});
            last_ = 0;
        }
        putVarint(postings_, page - last_);
        last_ = page;
        ++entries_.back().count;
    }

    void appendTo(std::string& body) const {
        std::string directory;
        std::uint32_t previous = 0;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& entry = entries_[i];
            const std::uint64_t end =
                i + 1 < entries_.size() ? entries_[i + 1].offset : postings_.size();
            putVarint(directory, entry.trigram - previous);
            putVarint(directory, entry.count);
            putVarint(directory, end - entry.offset);
            previous = entry.trigram;
        }
        putU32(body, static_cast<std::uint32_t>(entries_.size()));
        putU64(body, directory.size());
        body.append(directory);
        putU64(body, postings_.size());
        body.append(postings_);
    }

private:
    struct Entry {
        std::uint32_t trigram;
        std::uint32_t count;
        std::uint64_t offset;
    };
    std::vector<Entry> entries_;
    std::string postings_;
    std::uint32_t last_ = 0;
};

void mergeRuns(std::vector<Run>& runs, PostingWriter& writer) {
    using Head = std::pair<std::uint64_t, std::size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::uint64_t pair = 0;
        if (runs[i].next(pair)) {
            heads.emplace(pair, i);
        }
    }
    while (!heads.empty()) {
        const auto [pair, run] = heads.top();
        heads.pop();
        writer.add(pair);
        std::uint64_t next = 0;
        if (runs[run].next(next)) {
            heads.emplace(next, run);
        }
    }
}

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::optional<std::string> buildIndex(platform::FileSystem& files, const platform::TextList& paths,
                                      const CatalogueIdentity& identity, std::stop_token stop,
                                      const BuildObserver& observer, const BuildOptions& options) {
    constexpr std::int64_t kRacyWindowNs = 2'000'000'000;
    const std::int64_t vouchBefore = options.vouchBefore.value_or(nowNs() - kRacyWindowNs);
    const std::size_t pairBudget =
        std::max<std::size_t>(options.memoryBudget / sizeof(std::uint64_t), 1024);
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };

    std::vector<PageRecord> records(paths.size());
    std::vector<std::uint64_t> pairs;
    std::vector<Run> runs;
    PageTrigrams trigrams;
    ShownTextReader reader;
    std::size_t n = 0;
    for (const std::string_view pathView : paths) {
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return std::nullopt;
        }
        const std::string path(pathView);
        const std::optional<platform::FileStamp> before = files.fileStamp(path);
        bool read = false;
        if (before) {
            try {
                if (reader.read(files, path, trigrams, keepGoing) ==
                    ShownTextReader::Outcome::Abandoned) {
                    return std::nullopt;
                }
                read = true;
            } catch (const Error&) {
                // Unreadable now: the search reads it, and reports it as the scan would.
            }
        }
        // A page changed while it was read is read by each search until the next build.
        const bool vouched = read && before->modifiedNs < vouchBefore &&
                             before->changedNs < vouchBefore && files.fileStamp(path) == before;
        if (vouched) {
            records[n] = {.vouched = true, .stamp = *before};
            // Grown by hand: doubling would take up to twice the budget just before a spill.
            const std::size_t needed = pairs.size() + trigrams.count();
            if (needed > pairs.capacity()) {
                pairs.reserve(std::max(needed, std::min(pairBudget, 2 * pairs.capacity())));
            }
            trigrams.moveInto(pairs, static_cast<std::uint32_t>(n));
        } else {
            trigrams.clear();
        }
        if (pairs.size() >= pairBudget) {
            std::sort(pairs.begin(), pairs.end());
            runs.emplace_back(pairs);
            pairs.clear();
        }
        ++n;
    }
    std::sort(pairs.begin(), pairs.end());
    PostingWriter writer;
    if (runs.empty()) {
        for (const std::uint64_t pair : pairs) {
            writer.add(pair);
        }
    } else {
        if (!pairs.empty()) {
            runs.emplace_back(pairs);
        }
        pairs = {};
        mergeRuns(runs, writer);
    }

    // The header first with room for the body's size and hash, filled in at the end: one copy
    // of the index in memory, not two.
    std::string file(kIndexMagic);
    putU32(file, kIndexVersion);
    putU32(file, 0);
    const std::size_t bodyAt = file.size() + 16;
    file.resize(bodyAt);
    putU32(file, static_cast<std::uint32_t>(identity.pathFile.size()));
    file.append(identity.pathFile);
    putU64(file, identity.pathsHash);
    putU32(file, static_cast<std::uint32_t>(records.size()));
    for (const PageRecord& record : records) {
        file.push_back(record.vouched ? '\1' : '\0');
        putU64(file, static_cast<std::uint64_t>(record.stamp.size));
        putU64(file, static_cast<std::uint64_t>(record.stamp.modifiedNs));
        putU64(file, static_cast<std::uint64_t>(record.stamp.changedNs));
        putU64(file, record.stamp.device);
        putU64(file, record.stamp.inode);
    }
    writer.appendTo(file);
    const std::string_view body = std::string_view(file).substr(bodyAt);
    std::string sizeAndHash;
    putU64(sizeAndHash, body.size());
    putU64(sizeAndHash, hashBytes(body));
    file.replace(bodyAt - 16, 16, sizeAndHash);
    return file;
}

}  // namespace pelmaro::index
