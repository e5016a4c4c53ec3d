#include "index/index_builder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "platform/file_system.h"
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
        const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
        const unsigned char* const end = p + piece.size();
        std::uint32_t tail = tail_;
        for (; length_ < 2 && p != end; ++p, ++length_) {
            tail = (tail << 8) | *p;
        }
        if (touched_.size() < count_ + piece.size()) {
            touched_.resize(std::max(2 * touched_.size(), count_ + piece.size()));
        }
        std::uint32_t* out = touched_.data() + count_;
        std::uint64_t* const seen = seen_.data();
        for (; p != end; ++p) {
            tail = ((tail << 8) | *p) & 0xffffff;
            // Written always, kept when new: a branch here is taken at random in a page's
            // first kilobytes, and mispredicted as often.
            std::uint64_t& word = seen[tail >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (tail & 63);
            *out = tail;
            out += (word & bit) == 0 ? 1 : 0;
            word |= bit;
        }
        count_ = static_cast<std::size_t>(out - touched_.data());
        tail_ = tail;
        return false;  // the whole text is wanted
    }
    void restart() override { clear(); }

    // Hands the page's trigrams over, and forgets them.
    void moveInto(std::vector<std::uint32_t>& trigrams) {
        trigrams.assign(touched_.begin(), touched_.begin() + static_cast<std::ptrdiff_t>(count_));
        clear();
    }
    void clear() {
        for (std::size_t i = 0; i < count_; ++i) {
            seen_[touched_[i] >> 6] = 0;
        }
        count_ = 0;
        tail_ = 0;
        length_ = 0;
    }

private:
    std::vector<std::uint64_t> seen_;     // a bit for each of the 2^24 trigrams
    std::vector<std::uint32_t> touched_;  // the first count_ are the page's
    std::size_t count_ = 0;
    std::uint32_t tail_ = 0;
    std::size_t length_ = 0;
};

// A run of (trigram, page) pairs sorted by trigram, each trigram's pages ascending, read a
// trigram at a time. A run is spilled to an anonymous temporary file, gone when closed (or when
// the process dies), each pair as two varints: the gap from the trigram before and the gap from
// the page before in the same trigram (from 0 in a new one), two or three bytes a pair, not
// eight. The last run is read where it was sorted.
class Run {
public:
    static constexpr std::uint64_t kEnded = ~std::uint64_t{0};

    static Run spilled(const std::vector<std::uint64_t>& sorted) {
        Run run;
        run.file_.reset(std::tmpfile());
        if (run.file_ == nullptr) {
            throwCannotCreate("temporary index run", errno);
        }
        run.buffer_.resize(kChunk + 2 * kMaxVarint);
        char* const start = run.buffer_.data();
        char* out = start;
        std::uint64_t trigram = 0;
        std::uint64_t page = 0;
        for (const std::uint64_t pair : sorted) {
            if ((pair >> 32) != trigram) {
                page = 0;
            }
            out = writeVarint(out, (pair >> 32) - trigram);
            out = writeVarint(out, (pair & 0xffffffff) - page);
            trigram = pair >> 32;
            page = pair & 0xffffffff;
            if (out - start >= static_cast<std::ptrdiff_t>(kChunk)) {
                run.write(start, out);
                out = start;
            }
        }
        run.write(start, out);
        if (std::fflush(run.file_.get()) != 0) {
            throwCannotCreate("temporary index run", errno);
        }
        std::rewind(run.file_.get());
        run.advance();
        return run;
    }
    static Run inMemory(const std::vector<std::uint64_t>& sorted) {
        Run run;
        run.sorted_ = &sorted;
        run.advance();
        return run;
    }

    // The trigram at hand; kEnded after the last.
    std::uint64_t trigram() const { return trigram_; }

    // Appends the pages of the trigram at hand, and moves on to the next one.
    void takePages(std::vector<std::uint32_t>& pages) {
        const std::uint64_t trigram = trigram_;
        do {
            pages.push_back(static_cast<std::uint32_t>(page_));
            advance();
        } while (trigram_ == trigram);
    }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    static constexpr std::size_t kMaxVarint = 10;

    Run() = default;

    void write(const char* from, const char* to) {
        const auto size = static_cast<std::size_t>(to - from);
        if (std::fwrite(from, 1, size, file_.get()) != size) {
            throwCannotCreate("temporary index run", errno);
        }
    }

    // Moves on to the next pair.
    void advance() {
        if (sorted_ != nullptr) {
            if (at_ == sorted_->size()) {
                trigram_ = kEnded;
                return;
            }
            const std::uint64_t pair = (*sorted_)[at_++];
            trigram_ = pair >> 32;
            page_ = pair & 0xffffffff;
            return;
        }
        // A pair takes at most two varints: with that much at hand they are read without
        // looking for the end.
        if (filled_ - at_ < 2 * kMaxVarint && !refill()) {
            trigram_ = kEnded;
            return;
        }
        const std::uint64_t trigramGap = varint();
        const std::uint64_t pageGap = varint();
        if (at_ > filled_) {
            // The file ends inside a pair: something else cut it short.
            throwCannotOpen("temporary index run", EIO);
        }
        if (trigramGap != 0) {
            page_ = 0;
        }
        trigram_ += trigramGap;
        page_ += pageGap;
    }

    // Moves what is left to the front and reads after it; false when nothing is left at all.
    bool refill() {
        std::memmove(buffer_.data(), buffer_.data() + at_, filled_ - at_);
        filled_ -= at_;
        at_ = 0;
        while (!ended_ && filled_ < kChunk) {
            const std::size_t got =
                std::fread(buffer_.data() + filled_, 1, kChunk - filled_, file_.get());
            if (got == 0) {
                if (std::ferror(file_.get()) != 0) {
                    throwCannotOpen("temporary index run", errno);
                }
                ended_ = true;
            }
            filled_ += got;
        }
        // Zeros past the end end any varint cut short there, which advance() then finds.
        std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(filled_), buffer_.end(), '\0');
        return filled_ > 0;
    }

    std::uint64_t varint() {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = static_cast<std::uint8_t>(buffer_[at_++]);
            value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
            if ((b & 0x80) == 0 || shift == 63) {
                return value;
            }
        }
    }

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    const std::vector<std::uint64_t>* sorted_ = nullptr;
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

// Writes posting lists a trigram at a time, as each one's pages are all there; the directory is
// held until the last list is out.
class PostingWriter {
public:
    PostingWriter(HashedOutput& out, std::uint32_t pageCount) : out_(out), pageCount_(pageCount) {}

    // The pages of the list being gathered, ascending, from listStart() on; those before it
    // are the lists before.
    std::vector<std::uint32_t>& pages() { return batch_.pages; }
    std::size_t listStart() const { return listStart_; }

    // Takes the pages gathered as the list of `trigram`, above the one before. The lists are
    // encoded a batch at a time on a thread of their own, while the next batch is gathered.
    void endList(std::uint32_t trigram) {
        batch_.lists.push_back({trigram, batch_.pages.size() - listStart_});
        listStart_ = batch_.pages.size();
        if (listStart_ >= kBatchPages) {
            handOver();
        }
    }

    // Writes the lists still held; returns the directory and its trigram count.
    std::pair<std::string, std::uint32_t> finish() {
        handOver();
        writeEncoded();
        return {std::move(directory_), trigrams_};
    }

private:
    static constexpr std::size_t kBatchPages = std::size_t{1} << 20;

    struct Batch {
        std::vector<std::uint32_t> pages;
        std::vector<std::pair<std::uint32_t, std::size_t>> lists;  // trigram, page count
        std::string encoded;
        std::vector<std::size_t> sizes;  // of each list's encoding
    };

    static Batch encode(Batch batch, std::uint32_t pageCount) {
        std::size_t at = 0;
        for (const auto& [trigram, count] : batch.lists) {
            const std::string list = encodePostings(
                std::span<const std::uint32_t>(batch.pages).subspan(at, count), pageCount);
            batch.encoded += list;
            batch.sizes.push_back(list.size());
            at += count;
        }
        return batch;
    }

    // Writes the batch encoded before, and hands the one gathered to be encoded.
    void handOver() {
        writeEncoded();
        if (batch_.lists.empty()) {
            return;
        }
        // Held apart from the call, so that a thread that can't be had takes nothing with it.
        const auto gathered = std::make_shared<Batch>(std::move(batch_));
        const auto work = [gathered, pageCount = pageCount_] {
            return encode(std::move(*gathered), pageCount);
        };
        try {
            encoded_ = std::async(std::launch::async, work);
        } catch (const std::system_error&) {
            encoded_ = std::async(std::launch::deferred, work);  // encoded here, when written
        }
        batch_ = {};
        listStart_ = 0;
    }

    void writeEncoded() {
        if (!encoded_.valid()) {
            return;
        }
        const Batch batch = encoded_.get();
        out_.write(batch.encoded);
        for (std::size_t i = 0; i < batch.lists.size(); ++i) {
            const auto& [trigram, count] = batch.lists[i];
            putVarint(directory_, trigram - previous_);
            putVarint(directory_, count);
            putVarint(directory_, batch.sizes[i]);
            previous_ = trigram;
            ++trigrams_;
        }
    }

    HashedOutput& out_;
    std::uint32_t pageCount_;
    Batch batch_;
    std::size_t listStart_ = 0;
    std::future<Batch> encoded_;
    std::uint32_t previous_ = 0;
    std::uint32_t trigrams_ = 0;
    std::string directory_;
};

// Each run holds pages after those of the run before it, but for the runs of pages read again at
// the end of a build, so a trigram's pages are mostly its pages in the first run, then those in
// the second, and so on: the runs are merged a trigram at a time, in their order, and a run's
// pages are merged in among those before them only when they don't all come after.
void mergeRuns(std::vector<Run>& runs, PostingWriter& writer) {
    for (;;) {
        std::uint64_t least = Run::kEnded;
        for (const Run& run : runs) {
            least = std::min(least, run.trigram());
        }
        if (least == Run::kEnded) {
            return;
        }
        std::vector<std::uint32_t>& pages = writer.pages();
        const std::size_t start = writer.listStart();
        for (Run& run : runs) {
            if (run.trigram() == least) {
                const std::size_t before = pages.size();
                run.takePages(pages);
                if (before != start && pages[before] < pages[before - 1]) {
                    const auto first = pages.begin() + static_cast<std::ptrdiff_t>(start);
                    std::inplace_merge(first, pages.begin() + static_cast<std::ptrdiff_t>(before),
                                       pages.end());
                }
            }
        }
        writer.endList(static_cast<std::uint32_t>(least));
    }
}

// What the build learnt of one page: whether it vouches for it, its stamp, and the trigrams of
// its shown text.
struct ReadPage {
    bool vouched = false;
    bool abandoned = false;  // the build was stopped while the page was read
    // Read whole and unchanged, but modified or changed too recently to be vouched for: the
    // later of those two times.
    std::optional<std::int64_t> recentNs;
    platform::FileStamp stamp;
    std::vector<std::uint32_t> trigrams;
    // Where its shown text may be taken up afresh (its stamp unset: the one above).
    ResumePoints resume;
};

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads a page as the build indexes it: its stamp, its shown text's trigrams, and its stamp
// again, which must not have changed meanwhile. Both stamps are the open file's where the file
// system tells them: they are then those of the very file read, and the page's name is looked up
// once, not three times.
ReadPage readPage(platform::FileSystem& files, const std::string& path, ShownTextReader& reader,
                  PageTrigrams& trigrams, const BuildOptions& options,
                  const std::function<bool()>& keepGoing) {
    ReadPage page;
    const std::int64_t readAt = nowNs();
    const std::int64_t tooRecentNs = options.tooRecent.count();
    const std::int64_t vouchBefore = options.vouchBefore.value_or(readAt - tooRecentNs);
    const bool openFileStamps = files.stampsOpenFiles();
    ShownTextReader::Stamps stamps;
    if (!openFileStamps) {
        stamps.opened = files.fileStamp(path);
        if (!stamps.opened) {
            return page;
        }
    }
    bool read = false;
    reader.noteResumePoints(&page.resume.offsets);
    try {
        page.abandoned =
            reader.read(files, path, trigrams, keepGoing, openFileStamps ? &stamps : nullptr) ==
            ShownTextReader::Outcome::Abandoned;
        read = !page.abandoned;
    } catch (const Error&) {
        // Unreadable now: the search reads it, and reports it as the scan would.
    }
    reader.noteResumePoints(nullptr);
    if (page.abandoned) {
        trigrams.clear();
        return page;
    }
    page.resume.encoding = reader.resumeEncoding();
    if (read && !openFileStamps) {
        stamps.read = files.fileStamp(path);
    }
    const std::optional<platform::FileStamp>& before = stamps.opened;
    // A page changed while it was read is read by each search until the next build.
    const bool whole = read && before && stamps.read == before;
    // A later write moves the change time past the read, and the modification time to a time
    // before one still to come: a modification time beyond the window ahead (a tree unpacked
    // from an archive made in a later time zone) tells a later write as well as an old one.
    const bool modifiedAhead =
        !options.vouchBefore && before && before->modifiedNs > readAt + tooRecentNs;
    page.vouched = whole && before->changedNs < vouchBefore &&
                   (before->modifiedNs < vouchBefore || modifiedAhead);
    if (whole && !page.vouched && !options.vouchBefore) {
        page.recentNs =
            modifiedAhead ? before->changedNs : std::max(before->modifiedNs, before->changedNs);
    }
    if (page.vouched) {
        page.stamp = *before;
        trigrams.moveInto(page.trigrams);
    } else {
        trigrams.clear();
        page.resume = {};
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

// The pages in the order their stamps are best looked at: each folder's together, so that a
// search looks each name up in a folder it holds open (platform::StampReader), not along its whole
// path. Within a folder, in catalogue order.
std::vector<std::uint32_t> pagesByFolder(const platform::TextList& paths) {
    std::vector<std::string_view> folders;
    folders.reserve(paths.size());
    for (const std::string_view name : paths) {
        folders.push_back(platform::folderPart(name));
    }
    std::vector<std::uint32_t> order(folders.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(), [&folders](std::uint32_t a, std::uint32_t b) {
        return folders[a] < folders[b];
    });
    return order;
}

// Reads `count` pages, the ith being page pageAt(i), as the build reads them, and hands each to
// `take` in that order, after `next` (when given) has heard of it: on every core when the file
// system allows it, a few pages ahead, else here, one at a time. Making shown text is the build's
// cost. False when stopped.
bool readPagesInOrder(platform::FileSystem& files, const platform::TextList& paths,
                      std::size_t count, const std::function<std::uint32_t(std::size_t)>& pageAt,
                      const BuildOptions& options, const std::stop_token& stop,
                      const std::function<void(std::uint32_t n)>& next,
                      const std::function<void(std::uint32_t n, ReadPage& page)>& take) {
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };
    std::optional<ReadAhead<ReadPage>> ahead;
    if (files.threadSafeReads() && count > 1) {
        constexpr std::size_t kAheadPerWorker = 8;
        const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
        try {
            ahead.emplace(
                count, workers, kAheadPerWorker, stop, [&files, &paths, &pageAt, &options] {
                    auto reader = std::make_shared<ShownTextReader>();
                    auto trigrams = std::make_shared<PageTrigrams>();
                    return [&files, &paths, &pageAt, &options, reader, trigrams](
                               std::size_t i, const ReadAhead<ReadPage>::KeepGoing& keepGoing) {
                        return readPage(files, std::string(paths[pageAt(i)]), *reader, *trigrams,
                                        options, keepGoing);
                    };
                });
        } catch (const std::system_error&) {
            // No threads to be had: the pages are read here.
        }
    }
    // Reading here needs a reader and a 2 MB bitmap of its own: made only then.
    std::optional<std::pair<ShownTextReader, PageTrigrams>> here;
    if (!ahead) {
        here.emplace();
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t n = pageAt(i);
        if (next) {
            next(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        ReadPage page = ahead ? ahead->take(i)
                              : readPage(files, std::string(paths[n]), here->first, here->second,
                                         options, keepGoing);
        if (page.abandoned) {
            return false;
        }
        take(n, page);
    }
    return true;
}

// Waits until `until` (ns since the epoch), or until stopped; false when stopped.
bool waitUntil(std::int64_t until, const std::stop_token& stop) {
    constexpr auto kLookEvery = std::chrono::milliseconds(50);
    for (std::int64_t now = nowNs(); now < until; now = nowNs()) {
        if (stop.stop_requested()) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::nanoseconds>(kLookEvery, std::chrono::nanoseconds(until - now)));
    }
    return !stop.stop_requested();
}

}  // namespace

bool reindexPages(platform::FileSystem& files, const platform::TextList& paths,
                  const std::vector<std::uint32_t>& pages, ReindexedPages& into,
                  std::stop_token stop, const BuildOptions& options) {
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };
    ShownTextReader reader;
    PageTrigrams trigrams;
    for (const std::uint32_t n : pages) {
        if (stop.stop_requested()) {
            return false;
        }
        if (n >= paths.size()) {
            continue;
        }
        const std::string path(paths[n]);
        const auto known = into.find(n);
        if (known != into.end() && files.fileStamp(path) == known->second.stamp) {
            continue;
        }
        ReadPage page = readPage(files, path, reader, trigrams, options, keepGoing);
        if (page.abandoned) {
            return false;
        }
        if (!page.vouched) {
            into.erase(n);
            continue;
        }
        std::sort(page.trigrams.begin(), page.trigrams.end());
        into[n] = {.stamp = page.stamp, .trigrams = std::move(page.trigrams)};
    }
    return true;
}

bool writeIndex(platform::FileSystem& files, const platform::TextList& paths,
                const CatalogueIdentity& identity, const IndexOutput& out, std::stop_token stop,
                const BuildObserver& observer, const BuildOptions& options) {
    // The budget is shared by the pairs gathered, the pairs of the run being spilled meanwhile,
    // and the room their sort takes.
    const std::size_t pairBudget =
        std::max<std::size_t>(options.memoryBudget / (3 * sizeof(std::uint64_t)), 1024);

    std::vector<PageRecord> records(paths.size());
    // Each vouched page's resume points, as the file holds them, in the order the pages were
    // read; a page without points has the empty list at offset 0.
    std::vector<std::uint32_t> resumeAt(paths.size(), 0);
    std::string resumeLists(1, '\0');
    std::vector<std::uint64_t> pairs;
    std::vector<std::uint64_t> sortRoom;
    std::vector<Run> runs;
    // A run is sorted and written on a thread of its own while the next one is gathered: the
    // pages are not kept waiting for it.
    std::vector<std::uint64_t> spilling;
    std::future<Run> spilled;
    const auto sortAndSpill = [&spilling, &sortRoom] {
        sortByTrigram(spilling, sortRoom);
        return Run::spilled(spilling);
    };
    const auto waitForSpill = [&] {
        if (spilled.valid()) {
            runs.push_back(spilled.get());
        }
    };
    const auto spill = [&] {
        waitForSpill();
        spilling.swap(pairs);
        pairs.clear();
        try {
            spilled = std::async(std::launch::async, sortAndSpill);
        } catch (const std::system_error&) {
            runs.push_back(sortAndSpill());  // no thread to be had
        }
    };
    // Pages written a moment before they were read, with that moment: read again at the end.
    std::vector<std::pair<std::uint32_t, std::int64_t>> recent;
    std::size_t taken = 0;
    const auto take = [&](std::uint32_t n, ReadPage& page) {
        ++taken;
        if (!page.vouched) {
            if (page.recentNs) {
                recent.emplace_back(n, *page.recentNs);
            }
            return;
        }
        records[n] = {.vouched = true, .stamp = page.stamp};
        if (const std::size_t at = resumeLists.size();
            at <= UINT32_MAX && appendResumeList(resumeLists, page.resume)) {
            resumeAt[n] = static_cast<std::uint32_t>(at);
        }
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
            const bool spillAhead = sofar / taken * paths.size() >= pairBudget;
            pairs.reserve(std::max(
                needed, spillAhead ? pairBudget : std::min(pairBudget, 2 * pairs.capacity())));
        }
        for (const std::uint32_t trigram : page.trigrams) {
            pairs.push_back(static_cast<std::uint64_t>(trigram) << 32 | n);
        }
    };
    const auto next = [&observer](std::uint32_t n) {
        if (observer.reading) {
            observer.reading(n);
        }
    };
    if (!readPagesInOrder(
            files, paths, paths.size(), [](std::size_t i) { return static_cast<std::uint32_t>(i); },
            options, stop, next, take)) {
        return false;
    }
    // Read again once their stamps can tell a later write; those with a time further ahead (a
    // clock set back) can't be waited for, and are left to the searches.
    const std::int64_t now = nowNs();
    std::erase_if(recent,
                  [&](const auto& page) { return page.second > now + options.tooRecent.count(); });
    if (!recent.empty()) {
        // Their pairs form runs of their own: a run holds its pages ascending.
        if (!pairs.empty()) {
            spill();
        }
        std::int64_t latest = 0;
        for (const auto& page : recent) {
            latest = std::max(latest, page.second);
        }
        // Past it, not at it: a page of that very time is too recent at it.
        if (!waitUntil(latest + options.tooRecent.count() + 1, stop)) {
            return false;
        }
        if (!readPagesInOrder(
                files, paths, recent.size(), [&recent](std::size_t i) { return recent[i].first; },
                options, stop, {},
                [&](std::uint32_t n, ReadPage& page) {
                    page.recentNs.reset();  // read again once only
                    take(n, page);
                })) {
            return false;
        }
    }
    waitForSpill();
    spilling = {};
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
        record.push_back(
            static_cast<char>((page.vouched ? 1 : 0) | (page.stamp.names > 1 ? 2 : 0)));
        putU64(record, static_cast<std::uint64_t>(page.stamp.size));
        putU64(record, static_cast<std::uint64_t>(page.stamp.modifiedNs));
        putU64(record, static_cast<std::uint64_t>(page.stamp.changedNs));
        putU64(record, page.stamp.device);
        putU64(record, page.stamp.inode);
        file.write(record);
    }
    records = {};
    std::string order;
    for (const std::uint32_t n : pagesByFolder(paths)) {
        putU32(order, n);
    }
    file.write(order);
    order = {};
    std::string table;
    table.reserve(resumeAt.size() * kIndexResumeEntrySize);
    for (const std::uint32_t at : resumeAt) {
        putU32(table, at);
    }
    file.write(table);
    table = {};
    resumeAt = {};
    file.write(resumeLists);
    resumeLists = {};

    const std::uint64_t postingsAt = file.size();
    PostingWriter writer(file, static_cast<std::uint32_t>(paths.size()));
    runs.push_back(Run::inMemory(pairs));
    mergeRuns(runs, writer);
    runs.clear();
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
