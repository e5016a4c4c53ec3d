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

// The index file's bytes on their way out: hashed a block at a time for the block hashes, and
// handed on a megabyte at a time, so that the file is never held whole.
class HashedOutput {
public:
    explicit HashedOutput(const IndexOutput& out) : out_(out) {}

    std::uint64_t size() const { return handedOn_ + pending_.size(); }

    void write(std::string_view bytes) {
        pending_.append(bytes);
        while (pending_.size() - hashed_ >= kIndexBlockSize) {
            hashBlock(kIndexBlockSize);
        }
        if (hashed_ >= kHandOnSize) {
            handOn();
        }
    }

    // Hashes the last, shorter block, hands everything on and returns the blocks' hashes; what
    // follows is not in a block.
    std::string finishBlocks() {
        if (pending_.size() > hashed_) {
            hashBlock(pending_.size() - hashed_);
        }
        handOn();
        return std::move(hashes_);
    }

private:
    static constexpr std::size_t kHandOnSize = std::size_t{1} << 20;

    void hashBlock(std::size_t size) {
        putU32(hashes_, blockHash(std::string_view(pending_).substr(hashed_, size), blocks_++));
        hashed_ += size;
    }
    void handOn() {
        out_(std::string_view(pending_).substr(0, hashed_));
        handedOn_ += hashed_;
        pending_.erase(0, hashed_);
        hashed_ = 0;
    }

    const IndexOutput& out_;
    std::string pending_;
    std::size_t hashed_ = 0;
    std::uint64_t handedOn_ = 0;
    std::uint64_t blocks_ = 0;
    std::string hashes_;
};

// Gathers sorted pairs into posting lists, written as each trigram's pages are all there; the
// directory is held until the last list is out.
class PostingWriter {
public:
    PostingWriter(HashedOutput& out, std::uint32_t pageCount) : out_(out), pageCount_(pageCount) {}

    void add(std::uint64_t pair) {
        const auto trigram = static_cast<std::uint32_t>(pair >> 32);
        if (!pages_.empty() && trigram != trigram_) {
            finishList();
        }
        trigram_ = trigram;
        pages_.push_back(static_cast<std::uint32_t>(pair));
    }

    // Ends the last list; the directory and its trigram count.
    std::pair<std::string, std::uint32_t> finish() {
        if (!pages_.empty()) {
            finishList();
        }
        return {std::move(directory_), trigrams_};
    }

private:
    void finishList() {
        const std::string list = encodePostings(pages_, pageCount_);
        out_.write(list);
        putVarint(directory_, trigram_ - previous_);
        putVarint(directory_, pages_.size());
        putVarint(directory_, list.size());
        previous_ = trigram_;
        ++trigrams_;
        pages_.clear();
    }

    HashedOutput& out_;
    std::uint32_t pageCount_;
    std::vector<std::uint32_t> pages_;
    std::uint32_t trigram_ = 0;
    std::uint32_t previous_ = 0;
    std::uint32_t trigrams_ = 0;
    std::string directory_;
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

bool writeIndex(platform::FileSystem& files, const platform::TextList& paths,
                const CatalogueIdentity& identity, const IndexOutput& out, std::stop_token stop,
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
    const auto spill = [&] {
        std::sort(pairs.begin(), pairs.end());
        runs.emplace_back(pairs);
        pairs.clear();
    };
    std::size_t n = 0;
    for (const std::string_view pathView : paths) {
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        const std::string path(pathView);
        const std::optional<platform::FileStamp> before = files.fileStamp(path);
        bool read = false;
        if (before) {
            try {
                if (reader.read(files, path, trigrams, keepGoing) ==
                    ShownTextReader::Outcome::Abandoned) {
                    return false;
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
            // Spilled before a page's pairs would pass the budget: growing the vector past it
            // would hold the old and the new one, twice the budget, for a moment.
            if (!pairs.empty() && pairs.size() + trigrams.count() > pairBudget) {
                spill();
            }
            // Grown by hand, for the same reason: doubling would take up to twice the budget,
            // and growing from half the budget to all of it holds both. Once the pages read so
            // far foretell a spill, the whole budget is taken at once (the system gives its
            // memory as it is written).
            const std::size_t needed = pairs.size() + trigrams.count();
            if (needed > pairs.capacity()) {
                const std::size_t sofar = runs.size() * pairBudget + needed;
                const bool spillAhead = sofar / (n + 1) * paths.size() >= pairBudget;
                pairs.reserve(std::max(
                    needed, spillAhead ? pairBudget : std::min(pairBudget, 2 * pairs.capacity())));
            }
            trigrams.moveInto(pairs, static_cast<std::uint32_t>(n));
        } else {
            trigrams.clear();
        }
        ++n;
    }
    std::sort(pairs.begin(), pairs.end());

    HashedOutput file(out);
    std::string head(kIndexMagic);
    putU32(head, kIndexVersion);
    putU32(head, 0);
    putU32(head, static_cast<std::uint32_t>(identity.pathFile.size()));
    head.append(identity.pathFile);
    putU64(head, identity.pathsHash);
    putU32(head, static_cast<std::uint32_t>(records.size()));
    file.write(head);
    std::string record;
    for (const PageRecord& page : records) {
        record.clear();
        record.push_back(page.vouched ? '\1' : '\0');
        putU64(record, static_cast<std::uint64_t>(page.stamp.size));
        putU64(record, static_cast<std::uint64_t>(page.stamp.modifiedNs));
        putU64(record, static_cast<std::uint64_t>(page.stamp.changedNs));
        putU64(record, page.stamp.device);
        putU64(record, page.stamp.inode);
        file.write(record);
    }
    records = {};

    const std::uint64_t postingsAt = file.size();
    PostingWriter writer(file, static_cast<std::uint32_t>(paths.size()));
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
    pairs = {};
    const auto [directory, trigramCount] = writer.finish();
    const std::uint64_t directoryAt = file.size();
    file.write(directory);
    const std::uint64_t hashesAt = file.size();
    std::string tail = file.finishBlocks();
    putU64(tail, postingsAt);
    putU64(tail, directoryAt);
    putU64(tail, hashesAt);
    putU32(tail, trigramCount);
    putU32(tail, static_cast<std::uint32_t>(kIndexBlockSize));
    putU64(tail, hashBytes(tail));
    out(tail);
    return true;
}

std::optional<std::string> buildIndex(platform::FileSystem& files, const platform::TextList& paths,
                                      const CatalogueIdentity& identity, std::stop_token stop,
                                      const BuildObserver& observer, const BuildOptions& options) {
    std::string bytes;
    if (!writeIndex(
            files, paths, identity, [&bytes](std::string_view piece) { bytes.append(piece); },
            std::move(stop), observer, options)) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace pelmaro::index
