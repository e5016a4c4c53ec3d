#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "search/shown_text.h"
#include "search/text_matcher.h"
#include "search/word_starts.h"

namespace pelmaro {

// Looks for a search text in shown text (shown_text.h) that arrives in pieces: the search text
// is folded the same way, so "CHAPTER 9" finds "Chapter&nbsp;9" and "ÉTÉ" finds "été". A match
// may span any number of pieces. Knows where the first hit is and how many there are, for a
// ranking and a context line.
class ShownTextMatcher {
public:
    explicit ShownTextMatcher(std::string_view searchText);

    // The folded search text; empty (found nowhere) when the text is only white space.
    const std::string& folded() const { return folded_; }
    bool empty() const { return folded_.empty(); }

    // Starts a new text. With `countAll`, every hit is counted (hits that don't overlap); without
    // it, the matcher stops looking at the first. Hits that start before byte `from` of the text
    // are not looked at.
    void reset(bool countAll = false, std::size_t from = 0);
    // Starts the text anew, looking as reset() last said.
    void restart() { reset(countAll_, from_); }
    // Looks at the next piece of folded shown text; true once the search text has been found.
    bool feed(std::string_view piece);
    bool found() const { return hits_ != 0; }
    // Where the first hit starts, in bytes of the folded shown text.
    std::optional<std::size_t> firstHit() const { return firstHit_; }
    std::size_t hits() const { return hits_; }
    // How many bytes of text it was fed.
    std::size_t fed() const { return windowStart_ + window_.size(); }

private:
    std::string folded_;
    bool countAll_ = false;
    std::size_t from_ = 0;
    std::string window_;           // the last bytes of the text so far, at most a piece more
    std::size_t windowStart_ = 0;  // where window_ starts in the shown text
    std::optional<std::size_t> firstHit_;
    std::size_t hits_ = 0;
};

// Where a page's shown text may be taken up afresh (ShownTextProducer::noteResumePoints), as they
// were noted when its file had `stamp`: a search that finds the file so may look for its text
// from the one before a likely hit instead of from the page's start.
struct ResumePoints {
    platform::FileStamp stamp;
    ShownTextProducer::Encoding encoding = ShownTextProducer::Encoding::Detect;
    std::vector<std::uint32_t> offsets;  // ascending
};

// How many bytes of a block a first look (ShownTextSink::passOver) sees again with the next.
inline constexpr std::size_t kLookOverlap = 1024;

// Takes a file's shown text, piece by piece, from ShownTextReader.
class ShownTextSink {
public:
    virtual ~ShownTextSink() = default;
    // The next piece (possibly empty); true when nothing more is wanted of this file.
    virtual bool take(std::string_view piece) = 0;
    // What was taken so far is void: the file is read anew from its start.
    virtual void restart() = 0;

    // What a first look at a page's bytes tells.
    enum class Look {
        Read,      // the page may show what is wanted: its shown text is made from its start
        PassOver,  // this block surely shows nothing wanted (see passOver())
        Found,     // the page shows what was wanted: nothing more is
    };
    // Whether the sink looks at a page's bytes before its shown text is made (passOver()).
    virtual bool wantsFirstLook() const { return false; }
    // A page's bytes (not RTF) a block at a time from its start, before any take(): PassOver when
    // the block surely shows nothing wanted, nor begins anything wanted that the blocks after it
    // could end. `at` is where the block starts in the page. The first block holds at least the
    // page head (kPageHeadSize bytes, or the whole page); each after it starts with the last
    // kLookOverlap bytes of the one before, so that what starts there and can't be judged yet
    // may be judged by the next look. `last` says the page ends with this one (when it ends
    // with a block, the last look is at the end of that block alone). A page whose blocks are
    // all passed over needs no shown text. Asked only when wantsFirstLook().
    virtual Look passOver(std::string_view /*block*/, std::size_t /*at*/, bool /*first*/,
                          bool /*last*/, ShownKind /*kind*/) {
        return Look::Read;
    }
};

// Reads a file's shown text: a page's text as ShownTextProducer gives it, an RTF document's text
// (rtf as the page-text loader reads it), an image's file name. A file is read once, in blocks
// into one buffer kept from file to file. The index and the scan (ShownTextScanner) read pages
// this way.
class ShownTextReader {
public:
    using Outcome = FileTextScanner::Outcome;

    explicit ShownTextReader(std::size_t blockSize = FileTextScanner::kDefaultBlockSize);

    // Folded letters (the default), or the page's own for people to read.
    void setLetters(ShownTextProducer::Letters letters) { letters_ = letters; }
    // Has the pages read note their resume points (ShownTextProducer::noteResumePoints), and
    // tells the encoding they hold for, once a page is read.
    void noteResumePoints(std::vector<std::uint32_t>* points) {
        producer_.noteResumePoints(points);
    }
    ShownTextProducer::Encoding resumeEncoding() const { return producer_.resumeEncoding(); }

    // The stamps of a file read (platform::InputFile::stamp): as it was opened, and as it was
    // once read. A file opened again on the way (after a first look) is the one stamped then.
    struct Stamps {
        std::optional<platform::FileStamp> opened;
        std::optional<platform::FileStamp> read;
    };

    // Hands the file's shown text to `sink`: Found when the sink wanted no more, NotFound when
    // it had all of it. `keepGoing`, when given, runs after every
    // FileTextScanner::kBytesBetweenPauses bytes of one file; when it returns false the file is
    // left unread and the answer is Abandoned. Sets `stamps`, when given. Fails with "Cannot
    // open file "%s". %s" and on read errors.
    Outcome read(platform::FileSystem& files, const std::string& fileName, ShownTextSink& sink,
                 const std::function<bool()>& keepGoing = {}, Stamps* stamps = nullptr);

    // The same for bytes in memory, shown as `kind`, in blocks as a file would be.
    Outcome read(std::string_view bytes, ShownKind kind, ShownTextSink& sink);

private:
    // read() with the file it opens (again) in `file`.
    Outcome readFile(platform::FileSystem& files, const std::string& fileName, ShownTextSink& sink,
                     const std::function<bool()>& keepGoing,
                     std::unique_ptr<platform::InputFile>& file, Stamps* stamps);
    // Hands the producer's latest output to the sink.
    bool handOn(ShownTextSink& sink);

    ShownTextProducer producer_;
    ShownTextProducer::Letters letters_ = ShownTextProducer::Letters::Folded;
    std::size_t blockSize_;
    std::string buffer_;
    std::string shown_;  // the producer's output, handed on and cleared piece by piece
};

// Searches files for a text in what they show, as ShownTextReader reads it; a match may span
// blocks. Most pages that don't show the text are passed over on a first look at their bytes.
class ShownTextScanner : private ShownTextSink {
public:
    using Outcome = FileTextScanner::Outcome;

    explicit ShownTextScanner(std::string_view text,
                              std::size_t blockSize = FileTextScanner::kDefaultBlockSize);

    const ShownTextMatcher& matcher() const { return matcher_; }
    // With `countAll`, scan() reads every file to its end and the matcher counts every hit (for a
    // ranking); without it, a file is left at its first hit.
    void countAllHits(bool countAll) { countAll_ = countAll; }
    // Whether a page that fits one block is first looked at as bytes (on by default): most pages
    // can be seen not to show the search text at several times the speed of making their shown
    // text. The answers are the same either way.
    void usePrefilter(bool use) { prefilter_ = use; }
    // The vector instructions the first look uses: by default the widest the processor has.
    void useVectorUnit(VectorUnit unit);

    // Reads the file and reports whether its shown text contains the search text. `keepGoing`,
    // when given, runs after every FileTextScanner::kBytesBetweenPauses bytes of one file; when
    // it returns false the file is left unread and the answer is Abandoned. With `resume`, the
    // resume points of the file as it was once (an index's), a page that is still that file may
    // be found by making its shown text from the point before a likely hit on (not when
    // counting every hit; the matcher's firstHit() is then not the page's). Fails with "Cannot
    // open file "%s". %s" and on read errors.
    Outcome scan(platform::FileSystem& files, const std::string& fileName,
                 const std::function<bool()>& keepGoing = {}, const ResumePoints* resume = nullptr);

    // The file's shown text from its start in the page's own letters (for a context line), at
    // least as far as the first `foldedSize` bytes of its folded form reach, whole characters;
    // all of it when it shows less (the search text plays no part). writtenSpan() finds a hit in
    // it. Fails as scan() does.
    std::string writtenHead(platform::FileSystem& files, const std::string& fileName,
                            std::size_t foldedSize);
    // Where the file's first hit that starts at byte `from` of its folded shown text or later
    // starts, looking no further than `within` bytes of it. Fails as scan() does.
    std::optional<std::size_t> firstHitFrom(platform::FileSystem& files,
                                            const std::string& fileName, std::size_t from,
                                            std::size_t within);

    // The same for bytes in memory, shown as `kind`, in blocks as a file would be.
    bool contains(std::string_view bytes, ShownKind kind);

private:
    bool take(std::string_view piece) override;
    void restart() override;
    bool wantsFirstLook() const override;
    Look passOver(std::string_view block, std::size_t at, bool first, bool last,
                  ShownKind kind) override;
    // passOver() of markup by its resume points: Found when the shown text made from one of
    // them in the block holds the search text.
    Look lookFromResumePoints(std::string_view block, std::size_t blockAt, bool last);
    // The same for a search text that starts with `word` (a run of [a-z0-9] whose places `starts`
    // finds): the shown text from the last point before the first place the word may start at
    // on, block after block, to the first hit or the page's end. Read only when the block of
    // that place holds no point before it.
    Look lookOnFromResumePoint(std::string_view block, std::size_t blockAt, bool last,
                               std::size_t lead, std::string_view word, const WordStarts& starts);
    // The last resume point at or before byte `at` of the block that starts at byte `blockAt` of
    // the page, as an offset in the block; npos when the block holds none there.
    std::size_t resumePointUpTo(std::size_t blockAt, std::size_t at) const;

    ShownTextMatcher matcher_;
    bool countAll_ = false;
    bool prefilter_ = true;
    // The longest run of ASCII letters and digits in the folded search text, when long enough to
    // be worth a prefilter.
    std::string word_;
    std::optional<WordStarts> starts_;  // where word_ may start in a page's bytes
    // When the search text starts with another such run, long enough: it, and where it may
    // start (every hit starts at one of those places).
    std::string firstWord_;
    std::optional<WordStarts> firstStarts_;
    // While writtenHead() runs: where the shown text goes instead of to the matcher, and how much
    // of its folded form is wanted and was had.
    std::string* head_ = nullptr;
    std::size_t headSize_ = 0;
    std::size_t headFolded_ = 0;
    // While firstHitFrom() runs: how much shown text it looks at.
    std::optional<std::size_t> within_;
    // While scan() runs with resume points: them, and the stamps of the file read.
    const ResumePoints* resume_ = nullptr;
    const ShownTextReader::Stamps* stamps_ = nullptr;
    ShownTextProducer resumed_;  // makes shown text from a resume point
    std::string resumedText_;
    // Whether lookOnFromResumePoint() makes the page's text, and how far it has.
    bool onFromPoint_ = false;
    std::uint64_t madeTo_ = 0;
    ShownTextReader reader_;
};

}  // namespace pelmaro
