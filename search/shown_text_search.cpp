#include "search/shown_text_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

#include "page/html_references.h"
#include "page/page_text.h"
#include "page/text_encoding.h"
#include "platform/byte_text.h"
#include "platform/file_names.h"
#include "search/case_fold.h"

namespace pelmaro {
namespace {

constexpr std::size_t kSlice = 16 * 1024;
constexpr std::size_t kFirstSlice = 2 * 1024;
// A prefilter's word shorter than this is found in nearly every page.
constexpr std::size_t kShortestWord = 3;
// As the shown-text producer reads a reference: "&", then letters, digits and a "#", at most
// this many bytes in all, then a ";".
constexpr std::size_t kLongestReference = 40;

// The longest run of [a-z0-9] in folded text; empty when shorter than kShortestWord.
std::string prefilterWord(std::string_view folded) {
    std::string_view best;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= folded.size(); ++i) {
        const bool inWord = i < folded.size() && isAsciiAlnum(folded[i]);
        if (!inWord) {
            if (i - start > best.size()) {
                best = folded.substr(start, i - start);
            }
            start = i + 1;
        }
    }
    return best.size() >= kShortestWord ? std::string(best) : std::string();
}

// Whether the page's decoder reads ASCII bytes as themselves and nothing else as ASCII letters
// or digits (UTF-8, windows-1252, ISO-8859-*), as ShownTextProducer chooses it.
bool readsAsciiAsItself(std::string_view head, ShownKind kind) {
    const PageEncoding encoding = sniffPageEncoding(head, kind == ShownKind::Markup);
    return encoding.name.empty() || encoding.name == "UTF-8" || encoding.name == "CP1252" ||
           encoding.name.rfind("ISO-8859-", 0) == 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAZ(text[i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool isTagSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Where the tag that starts at bytes[at] ("<a ...>", "</b>") ends, as the producer reads it:
// quoted attribute values may hold a ">". npos when the bytes end first.
std::size_t tagEnd(std::string_view bytes, std::size_t at) {
    std::size_t q = at + 1;
    if (q < bytes.size() && bytes[q] == '/') {
        ++q;
        if (q < bytes.size() && !isAsciiAlpha(bytes[q])) {
            const std::size_t close = bytes.find('>', q);  // "</>" or a bogus comment
            return close == std::string_view::npos ? close : close + 1;
        }
    }
    while (q < bytes.size() && isAsciiAlnum(bytes[q])) {
        ++q;  // the name
    }
    if (q >= bytes.size()) {
        return std::string_view::npos;
    }
    if (bytes[q] == '>') {
        return q + 1;
    }
    bool afterEquals = false;
    for (++q; q < bytes.size(); ++q) {  // the character after the name is no attribute's
        const char c = bytes[q];
        if (c == '>') {
            return q + 1;
        }
        if (c == '=') {
            afterEquals = true;
        } else if ((c == '"' || c == '\'') && afterEquals) {
            q = bytes.find(c, q + 1);
            if (q == std::string_view::npos) {
                return q;
            }
            afterEquals = false;
        } else if (!isTagSpace(c)) {
            afterEquals = false;
        }
    }
    return std::string_view::npos;
}

// The folded text of a character reference ("&amp;" -> "&"). Pages use few references, many
// times each: they are decoded once per thread.
const std::string& shownReference(std::string_view reference) {
    // Looked up by the bytes as they are, without making a string of them.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    thread_local std::unordered_map<std::string, std::string, Hash, std::equal_to<>> known;
    if (const auto found = known.find(reference); found != known.end()) {
        return found->second;
    }
    if (known.size() >= 4096) {
        known.clear();
    }
    return known.emplace(reference, foldShownText(decodeCharacterReferences(reference)))
        .first->second;
}

// Whether the shown text of the page whose bytes from `at` on are `bytes` may start with
// `word`; `more` says the page goes on after them, so that bytes running out are a maybe. Errs
// towards yes: a yes only costs the page's full reading.
bool mayShowAt(std::string_view bytes, std::size_t at, std::string_view word, bool more) {
    std::size_t j = 0;
    std::size_t p = at;
    while (j < word.size()) {
        if (p >= bytes.size()) {
            return more;
        }
        const char b = bytes[p];
        if (lowerAZ(b) == word[j]) {
            ++j;
            ++p;
        } else if (b == '&') {
            std::size_t q = p + 1;
            while (q < bytes.size() && q - p < kLongestReference &&
                   (isAsciiAlnum(bytes[q]) || (bytes[q] == '#' && q == p + 1))) {
                ++q;
            }
            if (q >= bytes.size() && more) {
                return true;  // the reference may go on past the bytes
            }
            if (q < bytes.size() && bytes[q] == ';') {
                ++q;
            }
            // "&#75;", "&#x212A;" (the Kelvin sign, folded "k"), "&fjlig;" ("fj").
            const std::string& shown = shownReference(bytes.substr(p, q - p));
            const std::size_t n = std::min(shown.size(), word.size() - j);
            if (shown.compare(0, n, word, j, n) != 0) {
                return false;
            }
            if (n < shown.size()) {
                return true;  // the word ends inside the reference's text: may be followed by it
            }
            j += n;
            p = q;
        } else if (b == '<' && j > 0 && p + 1 < bytes.size()) {
            // Inline tags between letters show nothing.
            const char next = bytes[p + 1];
            if (next == '!' || next == '?' ||
                std::any_of(std::begin(kHiddenTextTags), std::end(kHiddenTextTags),
                            [&](std::string_view tag) {
                                return startsWithNoCase(bytes.substr(p + 1), tag);
                            })) {
                return true;  // a comment or hidden text inside the word: rare, left to the reading
            }
            if (!isAsciiAlpha(next) && next != '/') {
                return false;  // "a < b": a "<" shown as itself
            }
            p = tagEnd(bytes, p);
            if (p == std::string_view::npos) {
                return more;
            }
        } else if (b == '<' && j > 0) {
            return more;  // the last byte: what follows it is not here
        } else if (const std::string_view sign = WordStarts::letterSign(word[j]);
                   static_cast<unsigned char>(b) >= 0x80 && !sign.empty()) {
            // Of the characters beyond ASCII only these show as an ASCII letter once folded.
            const std::string_view here = bytes.substr(p, sign.size());
            if (here != sign.substr(0, here.size())) {
                return false;
            }
            if (here.size() < sign.size()) {
                return more;
            }
            ++j;
            p += sign.size();
        } else {
            return false;
        }
    }
    return true;
}

// How far back insideTag() looks for the '<' of a tag: further than most tags are long.
constexpr std::size_t kTagLookBack = 1024;

// Whether the byte at `at` of a page's markup surely lies inside a tag, a comment or a
// declaration, where nothing shows: the nearest '<' before it, with no '>' between, starts one
// ("<a", "</", "<!", "<?"). Whatever the page's reading was before that '<', it is in one of
// those then, or in a hidden element's text, and only a '>' leads out of them. A '<' that starts
// none ("a < b") is text, and tells nothing.
bool insideTag(std::string_view bytes, std::size_t at) {
    const std::size_t from = at - std::min(at, kTagLookBack);
    for (std::size_t k = at; k > from;) {
        --k;
        if (bytes[k] == '>') {
            return false;
        }
        if (bytes[k] == '<') {
            const char next = bytes[k + 1];
            return isAsciiAlpha(next) || next == '/' || next == '!' || next == '?';
        }
    }
    return false;
}

// Where the shown text of a page with these bytes may first contain `word`, a run of [a-z0-9]
// whose places `starts` finds, or begin it in these bytes when more of the page follows: the
// first byte from `from` on where it may start. A start at or after `deferFrom` that the bytes
// end too soon to judge counts as a no: the caller looks at it again with the bytes that follow.
// In `markup`, a start inside a tag is no start: so a page that holds a word only in its links and
// attributes ("title", "value", a path's "function") is passed over. npos only when it surely
// does not.
std::size_t firstPlaceShowing(std::string_view bytes, std::string_view word,
                              const WordStarts& starts, bool more, std::size_t deferFrom,
                              bool markup, std::size_t from = 0) {
    // Where the word may start: its first letter in either case followed by what may give its
    // second, or a reference. Most of those with the letter fail at the next byte, a letter or
    // digit other than the word's next.
    const auto mayStartAt = [&](std::size_t i) {
        if (bytes[i] == '&') {
            // Most references of a page are those of markup itself, which show no letter or
            // digit: they are told without being decoded.
            const std::string_view rest = bytes.substr(i);
            const std::string_view punctuation = rest.size() < 2  ? ""
                                                 : rest[1] == 'n' ? "&nbsp;"
                                                 : rest[1] == 'l' ? "&lt;"
                                                 : rest[1] == 'g' ? "&gt;"
                                                 : rest[1] == 'a' ? "&amp;"
                                                 : rest[1] == 'q' ? "&quot;"
                                                                  : "";
            if (!punctuation.empty() && rest.starts_with(punctuation)) {
                return false;
            }
        } else if (i + 1 < bytes.size() && isAsciiAlnum(bytes[i + 1]) &&
                   lowerAZ(bytes[i + 1]) != word[1]) {
            return false;
        }
        return mayShowAt(bytes, i, word, more && i < deferFrom) && !(markup && insideTag(bytes, i));
    };
    std::size_t i = from;
    std::uint64_t places[WordStarts::kBlocksAtOnce];
    while (const std::size_t blocks = starts.placesFrom(bytes, i, places)) {
        for (std::size_t k = 0; k < blocks; ++k, i += WordStarts::kBlockSize) {
            for (std::uint64_t here = places[k]; here != 0; here &= here - 1) {
                const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(here));
                if (mayStartAt(at)) {
                    return at;
                }
            }
        }
    }
    for (; i < bytes.size(); ++i) {
        if (starts.mayStartAt(bytes[i]) && mayStartAt(i)) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Where a first look at a block defers the starts it can't judge to the next block.
std::size_t deferFrom(std::string_view block, bool last) {
    return last ? block.size() : block.size() - std::min(block.size(), kLookOverlap);
}

// How many places of a page a look by resume points tries before the page is read whole.
constexpr int kMostResumedLooks = 8;
// Beyond the search text's length, how far a look by resume points makes the shown text after
// a place first, and before it when the search text doesn't start with a word: references and
// tags may stand between its characters.
constexpr std::size_t kResumeLead = 256;

}  // namespace

ShownTextMatcher::ShownTextMatcher(std::string_view searchText)
    : folded_(foldShownText(searchText)) {}

void ShownTextMatcher::reset(bool countAll, std::size_t from) {
    countAll_ = countAll;
    from_ = from;
    window_.clear();
    windowStart_ = 0;
    firstHit_.reset();
    hits_ = 0;
}

bool ShownTextMatcher::feed(std::string_view piece) {
    if (folded_.empty() || (hits_ != 0 && !countAll_) || piece.empty()) {
        return found();
    }
    window_.append(piece);
    const std::string_view window(window_);
    std::size_t from = 0;
    for (;;) {
        // glibc's memmem finds a short text in long pieces faster than a search for its first
        // byte and a comparison at each.
        const void* hit =
            ::memmem(window.data() + from, window.size() - from, folded_.data(), folded_.size());
        if (hit == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - window.data());
        if (windowStart_ + at < from_) {
            from = at + 1;
            continue;
        }
        if (hits_++ == 0) {
            firstHit_ = windowStart_ + at;
        }
        from = at + folded_.size();
        if (!countAll_) {
            return true;
        }
    }
    // Keep what a match ending in the next piece may start with, and nothing a hit has used.
    const std::size_t keepFrom =
        std::max(from, window.size() - std::min(window.size(), folded_.size() - 1));
    windowStart_ += keepFrom;
    window_.erase(0, keepFrom);
    return found();
}

ShownTextScanner::ShownTextScanner(std::string_view text, std::size_t blockSize)
    : matcher_(text), word_(prefilterWord(matcher_.folded())), reader_(blockSize) {
    const std::string_view folded = matcher_.folded();
    const auto firstEnd =
        std::find_if(folded.begin(), folded.end(), [](char c) { return !isAsciiAlnum(c); });
    if (!word_.empty() && !folded.starts_with(word_) &&
        static_cast<std::size_t>(firstEnd - folded.begin()) >= kShortestWord) {
        firstWord_ = std::string(folded.begin(), firstEnd);
    }
    useVectorUnit(vectorUnitsHere().back());
}

void ShownTextScanner::useVectorUnit(VectorUnit unit) {
    if (!word_.empty()) {
        starts_.emplace(word_, unit);
    }
    if (!firstWord_.empty()) {
        firstStarts_.emplace(firstWord_, unit);
    }
}

bool ShownTextScanner::take(std::string_view piece) {
    if (head_ != nullptr) {
        // Pieces end between characters: the head does too.
        head_->append(piece);
        headFolded_ += foldedText(piece).size();
        return headFolded_ >= headSize_;
    }
    const bool found = matcher_.feed(piece) && !countAll_;
    return found || (within_ && matcher_.fed() >= *within_);
}

void ShownTextScanner::restart() {
    matcher_.restart();
    if (head_ != nullptr) {
        head_->clear();
        headFolded_ = 0;
    }
}

bool ShownTextScanner::wantsFirstLook() const {
    return prefilter_ && head_ == nullptr && !word_.empty();
}

ShownTextSink::Look ShownTextScanner::passOver(std::string_view block, std::size_t at, bool first,
                                               bool last, ShownKind kind) {
    if (first &&
        !readsAsciiAsItself(block.substr(0, std::min(block.size(), kPageHeadSize)), kind)) {
        return Look::Read;
    }
    if (kind == ShownKind::Markup && resume_ != nullptr && !countAll_ &&
        stamps_->opened == resume_->stamp) {
        return lookFromResumePoints(block, at, last);
    }
    return firstPlaceShowing(block, word_, *starts_, !last, deferFrom(block, last),
                             kind == ShownKind::Markup) == std::string_view::npos
               ? Look::PassOver
               : Look::Read;
}

ShownTextSink::Look ShownTextScanner::lookFromResumePoints(std::string_view block,
                                                           std::size_t blockAt, bool last) {
    // A hit may end that far after its word's start, and start that far before it.
    const std::size_t lead = matcher_.folded().size() + kResumeLead;
    if (matcher_.folded().starts_with(word_)) {
        return lookOnFromResumePoint(block, blockAt, last, lead, word_, *starts_);
    }
    if (firstStarts_) {
        return lookOnFromResumePoint(block, blockAt, last, lead, firstWord_, *firstStarts_);
    }
    // A text that starts otherwise (white space, punctuation, a short run): around a few
    // places.
    bool placeLeft = false;  // a place that may show it was not proven to
    std::size_t from = 0;
    for (int looks = 0; looks < kMostResumedLooks;) {
        const std::size_t at =
            firstPlaceShowing(block, word_, *starts_, !last, deferFrom(block, last), true, from);
        if (at == std::string_view::npos) {
            // No place after those looked at may show it: the page shows it nowhere unless
            // at one of those.
            if (!placeLeft) {
                return Look::PassOver;
            }
            break;
        }
        placeLeft = true;
        from = at + 1;
        // From the last point far enough before the place, or else before it at all, to far
        // enough after it.
        std::size_t start = resumePointUpTo(blockAt, at - std::min(at, lead));
        if (start == std::string_view::npos) {
            start = resumePointUpTo(blockAt, at);
        }
        if (start == std::string_view::npos) {
            continue;  // none before it: a later place may be found
        }
        const std::size_t end = std::min(block.size(), at + lead);
        resumed_.start(ShownKind::Markup, resume_->encoding);
        resumedText_.clear();
        // No finish(): what it holds back at the end may be the start of more.
        resumed_.feed(block.substr(start, end - start), resumedText_);
        matcher_.reset();
        if (matcher_.feed(resumedText_)) {
            return Look::Found;
        }
        ++looks;
    }
    matcher_.reset(countAll_);
    return Look::Read;
}

std::size_t ShownTextScanner::resumePointUpTo(std::size_t blockAt, std::size_t at) const {
    const std::vector<std::uint32_t>& points = resume_->offsets;
    const auto after = std::upper_bound(points.begin(), points.end(), blockAt + at);
    if (after == points.begin() || after[-1] < blockAt) {
        return std::string_view::npos;
    }
    return after[-1] - blockAt;
}

ShownTextSink::Look ShownTextScanner::lookOnFromResumePoint(std::string_view block,
                                                            std::size_t blockAt, bool last,
                                                            std::size_t lead, std::string_view word,
                                                            const WordStarts& starts) {
    // Every hit starts at a place where `word` may start: none before the first. From the last
    // point before it on, the text made is the page's own from there to its end, so that a hit
    // is found there if anywhere.
    std::size_t done = 0;   // in the block, what was made
    std::size_t first = 0;  // where the first slice ends
    if (!onFromPoint_) {
        const std::size_t at =
            firstPlaceShowing(block, word, starts, !last, deferFrom(block, last), true);
        if (at == std::string_view::npos) {
            return Look::PassOver;
        }
        done = resumePointUpTo(blockAt, at);
        if (done == std::string_view::npos) {
            return Look::Read;  // none in this block: the page is read from its start
        }
        resumed_.start(ShownKind::Markup, resume_->encoding);
        matcher_.reset();
        onFromPoint_ = true;
        // Near the place first, where the page most often shows it.
        first = at + lead;
    } else {
        // The blocks after the first start with the end of the one before, made already.
        done = static_cast<std::size_t>(madeTo_ - blockAt);
    }
    for (std::size_t until = std::min(block.size(), first != 0 ? first : done + kSlice);;
         until = std::min(block.size(), done + kSlice)) {
        resumedText_.clear();
        resumed_.feed(block.substr(done, until - done), resumedText_);
        done = until;
        if (last && done == block.size()) {
            resumed_.finish(resumedText_);
        }
        if (matcher_.feed(resumedText_)) {
            return Look::Found;
        }
        if (done == block.size()) {
            madeTo_ = blockAt + done;
            return Look::PassOver;
        }
    }
}

bool ShownTextScanner::contains(std::string_view bytes, ShownKind kind) {
    matcher_.reset();
    const bool countAll = std::exchange(countAll_, false);
    reader_.read(bytes, kind, *this);
    countAll_ = countAll;
    return matcher_.found();
}

std::string ShownTextScanner::writtenHead(platform::FileSystem& files, const std::string& fileName,
                                          std::size_t foldedSize) {
    std::string head;
    if (foldedSize == 0) {
        return head;
    }
    struct Restore {
        ShownTextScanner& scanner;
        bool countAll;
        ~Restore() {
            scanner.head_ = nullptr;
            scanner.countAll_ = countAll;
            scanner.reader_.setLetters(ShownTextProducer::Letters::Folded);
        }
    } restore{*this, countAll_};
    head_ = &head;
    headSize_ = foldedSize;
    headFolded_ = 0;
    countAll_ = false;  // the head is complete at its size: stop there
    reader_.setLetters(ShownTextProducer::Letters::AsWritten);
    reader_.read(files, fileName, *this);
    return head;
}

std::optional<std::size_t> ShownTextScanner::firstHitFrom(platform::FileSystem& files,
                                                          const std::string& fileName,
                                                          std::size_t from, std::size_t within) {
    struct Restore {
        ShownTextScanner& scanner;
        bool countAll;
        ~Restore() {
            scanner.within_.reset();
            scanner.countAll_ = countAll;
        }
    } restore{*this, countAll_};
    countAll_ = false;
    within_ = within;
    matcher_.reset(false, from);
    if (matcher_.empty()) {
        return std::nullopt;
    }
    reader_.read(files, fileName, *this);
    return matcher_.firstHit();
}

ShownTextScanner::Outcome ShownTextScanner::scan(platform::FileSystem& files,
                                                 const std::string& fileName,
                                                 const std::function<bool()>& keepGoing,
                                                 const ResumePoints* resume) {
    matcher_.reset(countAll_);
    if (matcher_.empty()) {
        return Outcome::NotFound;
    }
    if (resume != nullptr && !countAll_) {
        ShownTextReader::Stamps stamps;
        struct Restore {
            ShownTextScanner& scanner;
            ~Restore() {
                scanner.resume_ = nullptr;
                scanner.stamps_ = nullptr;
            }
        } restore{*this};
        resume_ = resume;
        stamps_ = &stamps;
        onFromPoint_ = false;
        const Outcome outcome = reader_.read(files, fileName, *this, keepGoing, &stamps);
        // Found by a resume point of a file that changed while it was read: read it again, whole.
        if (outcome != Outcome::Found || stamps.read == stamps.opened) {
            return outcome;
        }
        matcher_.reset(countAll_);
    }
    const Outcome outcome = reader_.read(files, fileName, *this, keepGoing);
    // Counting every hit, the sink never has enough: the reader reads to the end.
    return outcome == Outcome::NotFound && matcher_.found() ? Outcome::Found : outcome;
}

ShownTextReader::ShownTextReader(std::size_t blockSize)
    : blockSize_(std::max({blockSize, kRtfSignature.size(), std::size_t{1}})) {
    // A first look's first block holds the page head; later ones follow the end of the one
    // before.
    buffer_.resize(std::max(blockSize_, kPageHeadSize) + kLookOverlap);
}

bool ShownTextReader::handOn(ShownTextSink& sink) {
    const bool enough = sink.take(shown_);
    shown_.clear();
    return enough;
}

ShownTextReader::Outcome ShownTextReader::read(std::string_view bytes, ShownKind kind,
                                               ShownTextSink& sink) {
    producer_.start(kind, ShownTextProducer::Encoding::Detect, letters_);
    while (!bytes.empty() && !producer_.ended()) {
        const std::size_t size = std::min(bytes.size(), blockSize_);
        producer_.feed(bytes.substr(0, size), shown_);
        bytes.remove_prefix(size);
        if (handOn(sink)) {
            return Outcome::Found;
        }
    }
    producer_.finish(shown_);
    return handOn(sink) ? Outcome::Found : Outcome::NotFound;
}

ShownTextReader::Outcome ShownTextReader::read(platform::FileSystem& files,
                                               const std::string& fileName, ShownTextSink& sink,
                                               const std::function<bool()>& keepGoing,
                                               Stamps* stamps) {
    std::unique_ptr<platform::InputFile> file;
    const Outcome outcome = readFile(files, fileName, sink, keepGoing, file, stamps);
    if (stamps != nullptr) {
        stamps->read = file->stamp();
    }
    return outcome;
}

ShownTextReader::Outcome ShownTextReader::readFile(platform::FileSystem& files,
                                                   const std::string& fileName, ShownTextSink& sink,
                                                   const std::function<bool()>& keepGoing,
                                                   std::unique_ptr<platform::InputFile>& file,
                                                   Stamps* stamps) {
    file = files.openForReading(fileName);
    if (stamps != nullptr) {
        stamps->opened = file->stamp();
    }
    const ShownKind kind = shownKindOf(fileName);
    if (kind == ShownKind::FileName) {
        // An image's bytes are no text: only its name is. It is opened all the same, so that a
        // file gone since the catalogue was built is reported like any other.
        std::string_view name(fileName);
        name.remove_prefix(std::min(name.size(), name.rfind('/') + 1));
        producer_.start(ShownKind::PlainText, ShownTextProducer::Encoding::MixedUtf8, letters_);
        producer_.feed(name, shown_);
        producer_.finish(shown_);
        return handOn(sink) ? Outcome::Found : Outcome::NotFound;
    }
    // Reads into the buffer from `at`, at least `atLeast` bytes unless the file ends first.
    const auto readBlockAt = [&](std::size_t at, std::size_t atLeast) {
        std::size_t got = 0;
        while (got < atLeast) {
            const std::size_t more =
                file->read(buffer_.data() + at + got, std::max(atLeast, blockSize_) - got);
            if (more == 0) {
                break;
            }
            got += more;
        }
        return got;
    };
    const auto readBlock = [&](std::size_t atLeast) { return readBlockAt(0, atLeast); };
    const bool firstLook = sink.wantsFirstLook();
    const std::size_t firstBlock = std::max(blockSize_, kPageHeadSize);
    std::size_t got = readBlock(firstLook ? firstBlock : kRtfSignature.size());
    if (firstLook && !startsAsRtf(std::string_view(buffer_.data(), got))) {
        // A block at a time into the same buffer, which stays in the processor's cache: reading
        // whole pages into a buffer as large costs the system more than the look itself. Each
        // look sees the end of the block before it again (`kept` bytes), for a word that starts
        // there.
        std::size_t looked = 0;
        std::size_t kept = 0;
        std::size_t asked = firstBlock;
        for (;;) {
            const bool last = got < asked;
            const ShownTextSink::Look look =
                sink.passOver(std::string_view(buffer_.data(), kept + got), looked - kept,
                              looked == 0, last, kind);
            if (look == ShownTextSink::Look::Found) {
                return Outcome::Found;
            }
            if (look == ShownTextSink::Look::Read) {
                break;
            }
            looked += got;
            if (last) {
                return Outcome::NotFound;
            }
            if (looked % FileTextScanner::kBytesBetweenPauses < got && keepGoing && !keepGoing()) {
                return Outcome::Abandoned;
            }
            const std::size_t seen = kept + got;
            kept = std::min(kLookOverlap, seen);
            std::memmove(buffer_.data(), buffer_.data() + seen - kept, kept);
            asked = blockSize_;
            // None when the page ends with the block before: then the last look is at the end
            // of that block alone.
            got = readBlockAt(kept, asked);
        }
        if (looked != 0) {
            // The page may show it after its first block: its shown text is made from the start.
            file = files.openForReading(fileName);
            got = readBlock(blockSize_);
        }
    }
    if (startsAsRtf(std::string_view(buffer_.data(), got))) {
        // Rare in documentation trees: the text comes from the page-text loader's RTF reader, a
        // piece at a time. Its "\'e9" gives bytes of the document's code page, "\u233?" UTF-8.
        producer_.start(ShownKind::PlainText, ShownTextProducer::Encoding::MixedUtf8, letters_);
        bool enough = false;
        const auto piece = [&](std::string_view bytes) {
            if (!enough) {
                producer_.feed(bytes, shown_);
                enough = handOn(sink);
            }
        };
        // Once the sink has had enough, the rest of the document needn't be read.
        const auto goOn = [&] { return !enough && (!keepGoing || keepGoing()); };
        switch (streamRtfText(*file, std::string(buffer_.data(), got), piece, goOn)) {
            case RtfStream::Text:
                if (!enough) {
                    producer_.finish(shown_);
                    enough = handOn(sink);
                }
                return enough ? Outcome::Found : Outcome::NotFound;
            case RtfStream::Stopped:
                return enough ? Outcome::Found : Outcome::Abandoned;
            case RtfStream::NotRtf:
                break;
        }
        // Not valid RTF after all: the file is plain text, read anew.
        sink.restart();
        shown_.clear();
        file = files.openForReading(fileName);
        got = readBlock(1);
    }
    producer_.start(kind, ShownTextProducer::Encoding::Detect, letters_);
    std::size_t sincePause = 0;
    // In slices, so that a common word is found without making the rest of the block: small ones
    // first, where most pages show it if they show it at all.
    std::size_t slice = kFirstSlice;
    while (got != 0 && !producer_.ended()) {
        for (std::size_t at = 0; at < got; at += slice, slice = std::min(2 * slice, kSlice)) {
            producer_.feed(std::string_view(buffer_.data() + at, std::min(slice, got - at)),
                           shown_);
            if (handOn(sink)) {
                return Outcome::Found;
            }
        }
        sincePause += got;
        if (sincePause >= FileTextScanner::kBytesBetweenPauses) {
            sincePause = 0;
            if (keepGoing && !keepGoing()) {
                return Outcome::Abandoned;
            }
        }
        got = readBlock(1);
    }
    producer_.finish(shown_);
    return handOn(sink) ? Outcome::Found : Outcome::NotFound;
}

}  // namespace pelmaro
