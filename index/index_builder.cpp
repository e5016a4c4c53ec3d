#include "index/index_builder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "search/read_ahead.h"
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

    // Hands the page's trigrams over, and forgets them.
    void moveInto(std::vector<std::uint32_t>& trigrams) {
        for (const std::uint32_t trigram : touched_) {
            seen_[trigram >> 6] = 0;
        }
        trigrams.swap(touched_);
        touched_.clear();
        tail_ = 0;
        length_ = 0;
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
// dies). Each pair is kept as two varints, the gap from the trigram before and the gap from the
// page before in the same trigram (from 0 in a new one): two or three bytes a pair, not eight.
class Run {
public:
    explicit Run(const std::vector<std::uint64_t>& sorted) : file_(std::tmpfile()) {
        if (file_ == nullptr) {
            throwCannotCreate("temporary index run", errno);
        }
        std::string bytes;
        std::uint64_t trigram = 0;
        std::uint64_t page = 0;
        for (const std::uint64_t pair : sorted) {
            if ((pair >> 32) != trigram) {
                page = 0;
            }
            putVarint(bytes, (pair >> 32) - trigram);
            putVarint(bytes, (pair & 0xffffffff) - page);
            trigram = pair >> 32;
            page = pair & 0xffffffff;
            if (bytes.size() >= kChunk) {
                write(bytes);
            }
        }
        write(bytes);
        if (std::fflush(file_.get()) != 0) {
            throwCannotCreate("temporary index run", errno);
        }
        std::rewind(file_.get());
        buffer_.resize(kChunk);
    }

    // The next pair, or false at the end.
    bool next(std::uint64_t& pair) {
        std::uint64_t trigramGap = 0;
        if (!varint(trigramGap, true)) {
            return false;
        }
        std::uint64_t pageGap = 0;
        varint(pageGap, false);
        if (trigramGap != 0) {
            page_ = 0;
        }
        trigram_ += trigramGap;
        page_ += pageGap;
        pair = trigram_ << 32 | page_;
        return true;
    }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 16;

    void write(std::string& bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
            throwCannotCreate("temporary index run", errno);
        }
        bytes.clear();
    }

    // The next byte of the file; false at its end.
    bool byte(std::uint8_t& out) {
        if (at_ == filled_) {
            filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
            at_ = 0;
            if (filled_ == 0) {
                if (std::ferror(file_.get()) != 0) {
                    throwCannotOpen("temporary index run", errno);
                }
                return false;
            }
        }
        out = static_cast<std::uint8_t>(buffer_[at_++]);
        return true;
    }

    // Reads a varint; false at the end of the file, where `mayEnd` says one may end. A file
    // that ends inside a pair was cut short by something else, and fails.
    bool varint(std::uint64_t& value, bool mayEnd) {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            std::uint8_t b = 0;
            if (!byte(b)) {
                if (mayEnd && shift == 0) {
                    return false;
                }
                throwCannotOpen("temporary index run", EIO);
            }
            value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
            if ((b & 0x80) == 0) {
                return true;
            }
        }
        throwCannotOpen("temporary index run", EIO);
    }

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
    std::uint64_t trigram_ = 0;
    std::uint64_t page_ = 0;
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

// Each run holds pages after those of the run spilled before it, so a trigram's pages are its
// pages in the first run, then those in the second, and so on: the runs are merged a trigram at
// a time, in the order they were spilled, without comparing pairs.
void mergeRuns(std::vector<Run>& runs, PostingWriter& writer) {
    std::vector<std::optional<std::uint64_t>> heads(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::uint64_t pair = 0;
        if (runs[i].next(pair)) {
            heads[i] = pair;
        }
    }
    const auto trigramOf = [](std::uint64_t pair) { return pair >> 32; };
    for (;;) {
        std::optional<std::uint64_t> least;
        for (const std::optional<std::uint64_t>& head : heads) {
            if (head && (!least || trigramOf(*head) < *least)) {
                least = trigramOf(*head);
            }
        }
        if (!least) {
            return;
        }
        for (std::size_t i = 0; i < runs.size(); ++i) {
            while (heads[i] && trigramOf(*heads[i]) == *least) {
                writer.add(*heads[i]);
                std::uint64_t next = 0;
                heads[i] = runs[i].next(next) ? std::optional(next) : std::nullopt;
            }
        }
    }
}

// What the build learnt of one page: whether it vouches for it, its stamp, and the trigrams of
// its shown text.
struct ReadPage {
    bool vouched = false;
    bool abandoned = false;  // the build was stopped while the page was read
    platform::FileStamp stamp;
    std::vector<std::uint32_t> trigrams;
};

// Reads a page as the build indexes it: its stamp, its shown text's trigrams, and its stamp
// again, which must not have changed meanwhile.
ReadPage readPage(platform::FileSystem& files, const std::string& path, ShownTextReader& reader,
                  PageTrigrams& trigrams, std::int64_t vouchBefore,
                  const std::function<bool()>& keepGoing) {
    ReadPage page;
    const std::optional<platform::FileStamp> before = files.fileStamp(path);
    if (!before) {
        return page;
    }
    bool read = false;
    try {
        if (reader.read(files, path, trigrams, keepGoing) == ShownTextReader::Outcome::Abandoned) {
            trigrams.clear();
            page.abandoned = true;
            return page;
        }
        read = true;
    } catch (const Error&) {
        // Unreadable now: the search reads it, and reports it as the scan would.
    }
    // A page changed while it was read is read by each search until the next build.
    page.vouched = read && before->modifiedNs < vouchBefore && before->changedNs < vouchBefore &&
                   files.fileStamp(path) == before;
    if (page.vouched) {
        page.stamp = *before;
        trigrams.moveInto(page.trigrams);
    } else {
        trigrams.clear();
    }
    return page;
}

// Sorts (trigram, page) pairs that were added page by page, pages ascending, into the order of
// their trigrams, each trigram's pages still ascending: two stable counting passes over the
// trigram's 24 bits, twelve at a time, several times faster than comparing the pairs. `room`
// is where the first pass puts them; it keeps its memory for the next sort.
void sortByTrigram(std::vector<std::uint64_t>& pairs, std::vector<std::uint64_t>& room) {
    constexpr int kBits = 12;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    room.resize(pairs.size());
    std::vector<std::size_t> starts(kBuckets);
    const auto pass = [&](const std::vector<std::uint64_t>& from, std::vector<std::uint64_t>& to,
                          int shift) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const std::uint64_t pair : from) {
            ++starts[(pair >> shift) & (kBuckets - 1)];
        }
        std::size_t at = 0;
        for (std::size_t& start : starts) {
            at += std::exchange(start, at);
        }
        for (const std::uint64_t pair : from) {
            to[starts[(pair >> shift) & (kBuckets - 1)]++] = pair;
        }
    };
    pass(pairs, room, 32);
    pass(room, pairs, 32 + kBits);
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
    // The pairs and the room their sort takes share the budget.
    const std::size_t pairBudget =
        std::max<std::size_t>(options.memoryBudget / (2 * sizeof(std::uint64_t)), 1024);
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };

    std::vector<PageRecord> records(paths.size());
    std::vector<std::uint64_t> pairs;
    std::vector<std::uint64_t> sortRoom;
    std::vector<Run> runs;
    const auto spill = [&] {
        sortByTrigram(pairs, sortRoom);
        runs.emplace_back(pairs);
        pairs.clear();
    };
    // Pages are read on every core when the file system allows it, else here, one at a time.
    // Making shown text is the build's cost: workers share it, a few pages ahead.
    std::optional<ReadAhead<ReadPage>> ahead;
    if (files.threadSafeReads() && paths.size() > 1) {
        constexpr std::size_t kAheadPerWorker = 8;
        const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
        try {
            ahead.emplace(
                paths.size(), workers, kAheadPerWorker, stop, [&files, &paths, vouchBefore] {
                    auto reader = std::make_shared<ShownTextReader>();
                    auto trigrams = std::make_shared<PageTrigrams>();
                    return [&files, &paths, vouchBefore, reader, trigrams](
                               std::size_t n, const ReadAhead<ReadPage>::KeepGoing& keepGoing) {
                        return readPage(files, std::string(paths[n]), *reader, *trigrams,
                                        vouchBefore, keepGoing);
                    };
                });
        } catch (const std::system_error&) {
            // No threads to be had: the pages are read here.
        }
    }
    PageTrigrams trigrams;
    ShownTextReader reader;
    for (std::size_t n = 0; n < paths.size(); ++n) {
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        const ReadPage page = ahead ? ahead->take(n)
                                    : readPage(files, std::string(paths[n]), reader, trigrams,
                                               vouchBefore, keepGoing);
        if (page.abandoned) {
            return false;
        }
        if (!page.vouched) {
            continue;
        }
        records[n] = {.vouched = true, .stamp = page.stamp};
        // Spilled before a page's pairs would pass the budget: growing the vector past it would
        // hold the old and the new one, twice the budget, for a moment.
        if (!pairs.empty() && pairs.size() + page.trigrams.size() > pairBudget) {
            spill();
        }
        // Grown by hand, for the same reason: doubling would take up to twice the budget, and
        // growing from half the budget to all of it holds both. Once the pages read so far
        // foretell a spill, the whole budget is taken at once (the system gives its memory as
        // it is written).
        const std::size_t needed = pairs.size() + page.trigrams.size();
        if (needed > pairs.capacity()) {
            const std::size_t sofar = runs.size() * pairBudget + needed;
            const bool spillAhead = sofar / (n + 1) * paths.size() >= pairBudget;
            pairs.reserve(std::max(
                needed, spillAhead ? pairBudget : std::min(pairBudget, 2 * pairs.capacity())));
        }
        for (const std::uint32_t trigram : page.trigrams) {
            pairs.push_back(static_cast<std::uint64_t>(trigram) << 32 | n);
        }
    }
    ahead.reset();
    sortByTrigram(pairs, sortRoom);
    sortRoom = {};

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
