#include "search/shown_text.h"

#include <iconv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "page/html_references.h"
#include "page/page_types.h"
#include "page/text_encoding.h"
#include "platform/byte_text.h"
#include "platform/file_names.h"
#include "search/case_fold.h"

namespace pelmaro {
namespace {

// Longer than any reference name ("&CounterClockwiseContourIntegral;") or number.
constexpr std::size_t kMaxReference = 40;
constexpr std::size_t kMaxTagName = 16;

// The tags that start or end a block of text (or a line, <br>): they part the words around them.
// Sorted.
constexpr std::string_view kBreakTags[] = {
    "address",    "article", "aside",   "blockquote", "body",     "br",       "caption", "center",
    "dd",         "details", "dialog",  "dir",        "div",      "dl",       "dt",      "fieldset",
    "figcaption", "figure",  "footer",  "form",       "frameset", "h1",       "h2",      "h3",
    "h4",         "h5",      "h6",      "head",       "header",   "hgroup",   "hr",      "html",
    "legend",     "li",      "main",    "menu",       "nav",      "noframes", "ol",      "option",
    "p",          "pre",     "section", "summary",    "table",    "tbody",    "td",      "textarea",
    "tfoot",      "th",      "thead",   "title",      "tr",       "ul",
};
static_assert(std::is_sorted(std::begin(kBreakTags), std::end(kBreakTags)));

// A tag name of up to eight letters as a number, its first letter the lowest byte (as eight
// bytes read from it are on a little-endian processor): kBreakTags are looked up as these.
constexpr std::uint64_t tagKey(std::string_view name) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i) {
        key |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    }
    return key;
}

// The names of up to eight letters, as keys in a table where each has a slot of its own: a
// name is looked up with one comparison, the same work for every tag. The multiplier was found
// by trying; the table's making fails to compile if two names share a slot.
constexpr std::size_t kBreakTagSlots = 256;
constexpr std::size_t slotOf(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x21615022409A8A79ULL) >> 56);
}
constexpr std::array<std::uint64_t, kBreakTagSlots> makeBreakTagSlots() {
    std::array<std::uint64_t, kBreakTagSlots> slots{};
    for (const std::string_view name : kBreakTags) {
        if (name.size() <= 8) {
            std::uint64_t& slot = slots[slotOf(tagKey(name))];
            if (slot != 0) {
                throw "two break tags share a slot: choose another multiplier";
            }
            slot = tagKey(name);
        }
    }
    return slots;
}
constexpr std::array<std::uint64_t, kBreakTagSlots> kBreakTagSlotTable = makeBreakTagSlots();

// Checked at every tag; `key` is tagKey(name).
bool isBreakTag(std::string_view name, std::uint64_t key) {
    if (name.size() > 8) {
        return name == "blockquote" || name == "figcaption";
    }
    return kBreakTagSlotTable[slotOf(key)] == key;
}

// The ASCII classes (platform/byte_text.h) of a character's code.
bool isAlphaCode(char32_t c) {
    return c < 0x80 && isAsciiAlpha(static_cast<char>(c));
}
bool isAlnumCode(char32_t c) {
    return c < 0x80 && isAsciiAlnum(static_cast<char>(c));
}
// Whatever the signedness of char.
bool isAsciiNonNul(char c) {
    return static_cast<unsigned char>(c) - 1u < 0x7Fu;
}
// Text's white space, a vertical tab among it (unlike HTML's, which leaves it out).
bool isSpaceCode(char32_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
char lowerAscii(char32_t c) {
    return lowerAZ(static_cast<char>(c));
}

// Whether `bytes` is the start of a UTF-8 character that the next piece may complete.
bool isCutCharacter(std::string_view bytes) {
    return bytes.size() < 4 && isValidUtf8(bytes, true);
}

// The bytes that end a stretch of attributes: the tag's end, a quote, NUL and anything beyond
// ASCII (left to the character-by-character path).
constexpr std::array<bool, 256> makeAttributeStops() {
    std::array<bool, 256> stops{};
    for (int c = 0x80; c < 0x100; ++c) {
        stops[static_cast<std::size_t>(c)] = true;
    }
    stops[0] = stops['>'] = stops['"'] = stops['\''] = true;
    return stops;
}
constexpr std::array<bool, 256> kAttributeStops = makeAttributeStops();

// The first `wanted` from `p` on, or null: memchr() inline for the short stretches of a tag (an
// attribute's value), where a call costs more than the looking.
const char* findInTag(const char* p, const char* const end, char wanted) {
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi8(wanted);
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, pattern)));
        if (mask != 0) {
            return p + std::countr_zero(mask);
        }
    }
#endif
    for (; p != end; ++p) {
        if (*p == wanted) {
            return p;
        }
    }
    return nullptr;
}

#if defined(__SSE2__)
// A bit for each of the sixteen bytes at `p` that is NUL, `a`, `b` or `c`, or beyond ASCII.
unsigned stopsIn16(const char* p, char a, char b, char c) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(a)),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8(b))),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)),
                                                    _mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
    // The high bit marks a byte beyond ASCII.
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(stops, bytes)));
}
#endif

// The first byte from `p` on that is one of kAttributeStops, or `end`. Sixteen bytes at a time
// where the processor allows: the stretch between two values varies in length from tag to tag.
const char* attributeStop(const char* p, const char* const end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const unsigned mask = stopsIn16(p, '>', '"', '\'');
        if (mask != 0) {
            return p + std::countr_zero(mask);
        }
        p += 16;
    }
#endif
    while (p != end && !kAttributeStops[static_cast<unsigned char>(*p)]) {
        ++p;
    }
    return p;
}

#if defined(__SSE2__)
// When the first `count` (1 to 16) of the sixteen bytes at `in` are printable words parted by
// single spaces, writes the sixteen as shown (letters folded with `fold`) at `o`, the first
// `count` of them the text's, and says so. Inlined: each run of text between tags asks.
[[gnu::always_inline]] inline bool putProse(const char* in, unsigned count, bool fold, char* o) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const unsigned counted = count == 16 ? 0xffffU : (1U << count) - 1;
    const auto printable = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(' ' - 1)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x7f)))));
    const auto spaces =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))));
    // The first and last are no space, so no space in them is pending or collapses with another.
    const unsigned ends = 1U | (1U << (count - 1));
    if ((printable & counted) != counted || (spaces & ends) != 0 ||
        (spaces & (spaces >> 1) & counted) != 0) {
        return false;
    }
    __m128i shownBytes = bytes;
    if (fold) {
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('A' - 1)),
                                            _mm_cmplt_epi8(bytes, _mm_set1_epi8('Z' + 1)));
        shownBytes = _mm_add_epi8(bytes, _mm_and_si128(upper, _mm_set1_epi8('a' - 'A')));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), shownBytes);
    return true;
}
#endif

// The bytes that end a stretch of text between tags: a tag, a reference, NUL and anything
// beyond ASCII.
constexpr std::array<bool, 256> makeTextStops() {
    std::array<bool, 256> stops{};
    for (int c = 0x80; c < 0x100; ++c) {
        stops[static_cast<std::size_t>(c)] = true;
    }
    stops[0] = stops['<'] = stops['&'] = true;
    return stops;
}
constexpr std::array<bool, 256> kTextStops = makeTextStops();

// An ASCII character as the shown text has it, folded or not: white space as a space.
constexpr std::array<char, 128> makeShownAscii(bool fold) {
    std::array<char, 128> shown{};
    for (int c = 0; c < 0x80; ++c) {
        const bool space = c == ' ' || (c >= '\t' && c <= '\r');
        const bool upper = c >= 'A' && c <= 'Z';
        shown[static_cast<std::size_t>(c)] = static_cast<char>(space           ? ' '
                                                               : fold && upper ? c + ('a' - 'A')
                                                                               : c);
    }
    return shown;
}
constexpr std::array<char, 128> kFoldedAscii = makeShownAscii(true);
constexpr std::array<char, 128> kWrittenAscii = makeShownAscii(false);

// How many of the 8 bytes at `p` come before one that ends a stretch of text (kTextStops): '<',
// '&', NUL, or one beyond ASCII. Tested a word at a time: a zero byte's test may mark the bytes
// above it too, but never one below.
std::size_t textBefore(const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const auto zeros = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    const std::uint64_t stops =
        (word & kHighs) | zeros(word) | zeros(word ^ (kOnes * '<')) | zeros(word ^ (kOnes * '&'));
    static_assert(std::endian::native == std::endian::little);  // byte 0 lowest
    return stops == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(stops) / 8);
}

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

}  // namespace

ShownKind shownKindOf(std::string_view fileName) {
    if (!isTextType(fileName)) {
        return ShownKind::FileName;
    }
    const std::string_view extension = extensionOf(fileName);
    return lowerAZ(extension) == ".txt" ? ShownKind::PlainText : ShownKind::Markup;
}

bool writtenSpan(std::string_view written, std::size_t foldedStart, std::size_t foldedLength,
                 std::size_t& start, std::size_t& length) {
    const std::size_t foldedEnd = foldedStart + foldedLength;
    std::size_t folded = 0;  // the folded length of written[0, i)
    bool started = false;
    for (std::size_t i = 0;;) {
        if (folded == foldedStart && !started) {
            start = i;
            started = true;
        }
        if (folded == foldedEnd && started) {
            length = i - start;
            return true;
        }
        if (i >= written.size() || folded > foldedEnd) {
            return false;
        }
        std::size_t size = 0;
        const char32_t c = foldCase(utf8CharAt(written, i, size));
        folded += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        i += size;
    }
}

bool hidesItsText(std::string_view name) {
    // Asked at every tag: most names are told apart by their length or first letter.
    constexpr auto mayBeHidden = [](std::string_view n) {
        return n.size() >= 5 && n.size() <= 8 &&
               (n[0] == 'i' || n[0] == 'n' || n[0] == 's' || n[0] == 't');
    };
    static_assert(std::all_of(std::begin(kHiddenTextTags), std::end(kHiddenTextTags), mayBeHidden));
    if (!mayBeHidden(name)) {
        return false;
    }
    return std::find(std::begin(kHiddenTextTags), std::end(kHiddenTextTags), name) !=
           std::end(kHiddenTextTags);
}

bool isShownSpace(char32_t c) {
    if (c < 0x80) {
        return isSpaceCode(c);
    }
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

void ShownTextFolder::put(char32_t c) {
    composer_.put(c, composed_);
    for (const char32_t d : composed_) {
        emit(d);
    }
    composed_.clear();
}

void ShownTextFolder::putAsciiText(const char* p, std::size_t n, const char* readable) {
    putAscii(p[0]);
    if (n == 1) {
        return;
    }
    // p[0] is held now: hold the last one instead. Those before it are followed by ASCII, which
    // combines with nothing: they go out as they are.
    char32_t released = 0;
    composer_.putPlain(static_cast<unsigned char>(p[n - 1]), released);
    const std::array<char, 128>& shown = fold_ ? kFoldedAscii : kWrittenAscii;
    const std::size_t had = out_.size();
    // n - 1 characters, a space before them at most, and room for a word's last sixteen bytes
    // written whole.
    out_.resize(had + n + 16);
    char* o = out_.data() + had;
    bool spacePending = spacePending_;
    bool emittedAny = emittedAny_;
    const char* in = p;
    const char* const last = p + n - 1;
    while (in != last) {
        if (shown[static_cast<unsigned char>(*in)] == ' ') {
            spacePending = emittedAny;
            ++in;
            continue;
        }
        if (spacePending) {
            *o++ = ' ';
            spacePending = false;
        }
        emittedAny = true;
#if defined(__SSE2__)
        // Sixteen bytes at once while they are printable words parted by single spaces, the
        // common run of prose, and the rest of the run the same way when it is shorter, as most
        // between tags are (its sixteen bytes read when they may be).
        while (last - in >= 16 && putProse(in, 16, fold_, o)) {
            in += 16;
            o += 16;
        }
        if (const auto rest = static_cast<unsigned>(last - in);
            rest != 0 && rest < 16 && readable - in >= 16 && putProse(in, rest, fold_, o)) {
            in = last;
            o += rest;
            break;
        }
#endif
        // A word, eight bytes at a time up to one that is white space or a control character.
        constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
        // The bytes read past `last` are taken as the word's end.
        while (in != last && readable - in >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, in, sizeof word);
            std::uint64_t below = ~(word + 0x5F5F5F5F5F5F5F5FULL) & kHighs;  // < '!'
            if (last - in < 8) {
                below |= ~std::uint64_t{0} << (8 * (last - in)) & kHighs;
            }
            if (fold_) {
                const std::uint64_t aboveA = word + 0x3F3F3F3F3F3F3F3FULL;  // >= 'A' sets bit 7
                const std::uint64_t aboveZ = word + 0x2525252525252525ULL;  // > 'Z' sets bit 7
                word |= (aboveA & ~aboveZ & kHighs) >> 2;
            }
            std::memcpy(o, &word, sizeof word);
            if (below != 0) {
                static_assert(std::endian::native == std::endian::little);  // byte 0 lowest
                const auto kept = static_cast<std::size_t>(std::countr_zero(below) / 8);
                o += kept;
                in += kept;
                break;
            }
            o += sizeof word;
            in += sizeof word;
        }
        for (; in != last; ++in) {
            const char c = shown[static_cast<unsigned char>(*in)];
            if (c == ' ') {
                break;
            }
            *o++ = c;
        }
    }
    spacePending_ = spacePending;
    emittedAny_ = emittedAny;
    out_.resize(static_cast<std::size_t>(o - out_.data()));
}

void ShownTextFolder::finish() {
    composer_.finish(composed_);
    for (const char32_t d : composed_) {
        emit(d);
    }
    composed_.clear();
    spacePending_ = false;
}

void ShownTextFolder::reset() {
    composer_.reset();
    composed_.clear();
    out_.clear();
    spacePending_ = false;
    emittedAny_ = false;
}

void ShownTextFolder::emit(char32_t c) {
    if (isShownSpace(c)) {
        spacePending_ = emittedAny_;
        return;
    }
    if (spacePending_) {
        out_.push_back(' ');
        spacePending_ = false;
    }
    emittedAny_ = true;
    if (fold_) {
        c = foldCase(c);
    }
    if (c < 0x80) {
        out_.push_back(static_cast<char>(c));
    } else {
        appendUtf8(out_, c);
    }
}

std::string foldShownText(std::string_view text) {
    ShownTextProducer producer;
    producer.start(ShownKind::PlainText, ShownTextProducer::Encoding::MixedUtf8);
    std::string folded;
    producer.feed(text, folded);
    producer.finish(folded);
    return folded;
}

void appendShownFolded(std::string& out, std::string_view text) {
    const bool plain =
        !text.empty() && text.front() != ' ' && text.back() != ' ' &&
        std::adjacent_find(text.begin(), text.end(),
                           [](char a, char b) { return a == ' ' && b == ' '; }) == text.end() &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
    if (plain) {
        for (const char c : text) {
            out.push_back(lowerAZ(c));
        }
    } else {
        out += foldShownText(text);
    }
}

ShownTextProducer::ShownTextProducer() = default;

ShownTextProducer::~ShownTextProducer() {
    closeIconv();
}

void ShownTextProducer::closeIconv() {
    if (iconv_ != nullptr) {
        iconv_close(static_cast<iconv_t>(iconv_));
        iconv_ = nullptr;
    }
}

void ShownTextProducer::start(ShownKind kind, Encoding encoding, Letters letters) {
    kind_ = kind;
    encoding_ = encoding;
    closeIconv();
    decoder_ = encoding == Encoding::MixedUtf8     ? Decoder::MixedUtf8
               : encoding == Encoding::Windows1252 ? Decoder::Windows1252
                                                   : Decoder::None;
    fed_ = 0;
    if (resumePoints_ != nullptr) {
        resumePoints_->clear();
    }
    head_.clear();
    pending_.clear();
    folder_.reset();
    folder_.setFolding(letters == Letters::Folded);
    ended_ = false;
    state_ = State::Text;
    reference_.clear();
    tagName_.clear();
    rawName_.clear();
}

void ShownTextProducer::feed(std::string_view bytes, std::string& out) {
    std::uint64_t at = fed_;
    fed_ += bytes.size();
    if (decoder_ == Decoder::None) {
        const std::size_t take = std::min(bytes.size(), kPageHeadSize - head_.size());
        head_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        at += take;
        if (head_.size() < kPageHeadSize) {
            return;
        }
        decodeHead(false);
    }
    if (!bytes.empty()) {
        decode(bytes, false, at);
    }
    out.append(folder_.text());
    folder_.text().clear();
}

void ShownTextProducer::finish(std::string& out) {
    if (decoder_ == Decoder::None) {
        decodeHead(true);
    } else {
        decode({}, true, fed_);
    }
    if (state_ == State::Reference) {
        flushReference();
    }
    folder_.finish();
    out.append(folder_.text());
    folder_.text().clear();
    closeIconv();
}

void ShownTextProducer::decodeHead(bool last) {
    const std::string head = std::move(head_);
    head_.clear();
    const std::size_t skip = chooseDecoder(head);
    decode(std::string_view(head).substr(std::min(skip, head.size())), last, skip);
}

ShownTextProducer::Encoding ShownTextProducer::resumeEncoding() const {
    switch (decoder_) {
        case Decoder::MixedUtf8:
            return Encoding::MixedUtf8;
        case Decoder::Windows1252:
            return Encoding::Windows1252;
        default:
            return Encoding::Detect;
    }
}

void ShownTextProducer::maybeResumeAt(const char* p) {
    const auto byte = static_cast<unsigned char>(*p);
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte >= 0x7f ||
        byte == '<' || byte == '&') {
        return;
    }
    const std::uint64_t at = decodingAt_ + static_cast<std::uint64_t>(p - decoding_);
    if (at > UINT32_MAX ||
        (!resumePoints_->empty() && at < resumePoints_->back() + resumeSpacing_)) {
        return;
    }
    resumePoints_->push_back(static_cast<std::uint32_t>(at));
}

std::size_t ShownTextProducer::chooseDecoder(std::string_view head) {
    const PageEncoding declared = sniffPageEncoding(head, kind_ == ShownKind::Markup);
    decoder_ = Decoder::MixedUtf8;
    if (declared.name.empty()) {
        decoder_ = isValidUtf8(head, true) ? Decoder::MixedUtf8 : Decoder::Windows1252;
    } else if (declared.name == "CP1252") {
        decoder_ = Decoder::Windows1252;
    } else if (declared.name != "UTF-8") {
        const iconv_t handle = iconv_open("UTF-32LE", declared.name.c_str());
        if (handle != kNoIconv) {
            iconv_ = handle;
            iconvUnit_ = codeUnitSize(declared.name);
            decoder_ = Decoder::Iconv;
        }
    }
    // A byte-order mark is no text.
    return declared.bomLength;
}

void ShownTextProducer::decode(std::string_view bytes, bool last, std::uint64_t at) {
    std::string rest;
    if (!pending_.empty()) {
        at -= pending_.size();
        rest = pending_ + std::string(bytes);
        pending_.clear();
        bytes = rest;
    }
    decoding_ = bytes.data();
    decodingAt_ = at;
    // In UTF-8 and windows-1252 a NUL byte is a U+0000, which ends the text wherever it stands:
    // the bytes before it are the text's last, and no path below meets one.
    if (const void* nul = decoder_ == Decoder::Iconv || bytes.empty()
                              ? nullptr
                              : std::memchr(bytes.data(), '\0', bytes.size())) {
        decode(
            bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data())),
            true, at);
        character(0);
        return;
    }
    std::size_t i = 0;
    const char* const end = bytes.data() + bytes.size();
    switch (decoder_) {
        case Decoder::None:
        case Decoder::MixedUtf8:
            while (i < bytes.size() && !ended_) {
                i += asciiRun(bytes.data() + i, end);
                if (i == bytes.size()) {
                    break;
                }
                const auto byte = static_cast<unsigned char>(bytes[i]);
                if (byte < 0x80) {
                    character(byte);
                    ++i;
                    continue;
                }
                char32_t c = 0;
                const std::size_t length = decodeUtf8(bytes, i, c);
                if (length != 0) {
                    character(c);
                    i += length;
                } else if (!last && isCutCharacter(bytes.substr(i))) {
                    pending_ = std::string(bytes.substr(i));
                    break;
                } else {
                    character(windows1252Char(byte));
                    ++i;
                }
            }
            break;
        case Decoder::Windows1252:
            while (i < bytes.size() && !ended_) {
                i += asciiRun(bytes.data() + i, end);
                if (i < bytes.size()) {
                    character(windows1252Char(static_cast<unsigned char>(bytes[i++])));
                }
            }
            break;
        case Decoder::Iconv: {
            std::array<char32_t, 1024> units{};
            char* in = const_cast<char*>(bytes.data());
            std::size_t inLeft = bytes.size();
            while (inLeft > 0 && !ended_) {
                char* outAt = reinterpret_cast<char*>(units.data());
                std::size_t outLeft = sizeof units;
                const std::size_t result =
                    iconv(static_cast<iconv_t>(iconv_), &in, &inLeft, &outAt, &outLeft);
                const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
                const std::size_t count =
                    (sizeof units - outLeft) / sizeof(char32_t);  // UTF-32LE on a little-endian
                for (std::size_t k = 0; k < count && !ended_; ++k) {
                    const auto* b = reinterpret_cast<const unsigned char*>(&units[k]);
                    character(static_cast<char32_t>(b[0]) | static_cast<char32_t>(b[1]) << 8 |
                              static_cast<char32_t>(b[2]) << 16 |
                              static_cast<char32_t>(b[3]) << 24);
                }
                if (ended_) {
                    break;  // at a U+0000: what iconv stopped at after it is no text
                }
                if (error == EINVAL && !last) {
                    pending_.assign(in, inLeft);  // a character cut by the end of the piece
                    break;
                }
                if (error == EILSEQ || error == EINVAL) {
                    character(0xFFFD);
                    const std::size_t skipped = std::min(iconvUnit_, inLeft);
                    in += skipped;
                    inLeft -= skipped;
                }
            }
            break;
        }
    }
}

std::size_t ShownTextProducer::asciiRun(const char* const p, const char* const end) {
    // The bytes skipped here are ASCII, which no UTF-8 or windows-1252 character holds inside it,
    // and no NUL (decode() ends the text at one).
    const auto skipTo = [&](const char* q, char wanted) {
        const void* found = std::memchr(q, wanted, static_cast<std::size_t>(end - q));
        return found != nullptr ? static_cast<const char*>(found) : nullptr;
    };
    const char* q = p;
    if (kind_ != ShownKind::Markup) {
        // Eight bytes at a time up to one that is NUL or beyond ASCII.
        while (end - q >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, q, sizeof word);
            constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
            constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
            if (((word & kHighs) | ((word - kOnes) & ~word & kHighs)) != 0) {
                break;
            }
            q += sizeof word;
        }
        while (q != end && isAsciiNonNul(*q)) {
            ++q;
        }
        if (q != p) {
            folder_.putAsciiText(p, static_cast<std::size_t>(q - p), end);
        }
        return static_cast<std::size_t>(q - p);
    }
    // Each state takes what it can in bulk; the byte it stops at goes through markup(), and so
    // on until a byte that is not ASCII (or NUL) or the end.
    while (q != end) {
        switch (state_) {
            case State::Text: {
                const char* const text = q;
                bool ended = false;
#if defined(__SSE2__)
                // Sixteen bytes at once first: most stretches between tags end within them.
                if (end - q >= 16) {
                    const unsigned mask = stopsIn16(q, '<', '&', '<');
                    ended = mask != 0;
                    q += ended ? std::countr_zero(mask) : 16;
                }
#endif
                while (!ended && end - q >= 8) {
                    const std::size_t before = textBefore(q);
                    q += before;
                    ended = before < 8;
                }
                if (!ended) {
                    while (q != end && !kTextStops[static_cast<unsigned char>(*q)]) {
                        ++q;
                    }
                }
                if (q != text) {
                    folder_.putAsciiText(text, static_cast<std::size_t>(q - text), end);
                }
                // Most tags are read here at once; the others, and those cut by the end of the
                // piece, a character at a time below.
                bool tookTag = false;
                while (q != end && *q == '<' && state_ == State::Text) {
                    const char* const after = wholeTag(q, end);
                    if (after == nullptr) {
                        break;
                    }
                    q = after;
                    tookTag = true;
                }
                if (tookTag) {
                    if (resumePoints_ != nullptr && q != end && state_ == State::Text) {
                        maybeResumeAt(q);
                    }
                    continue;  // on in the state the tags left
                }
                break;
            }
            case State::RawText:
            case State::AttributeValue:
            case State::BogusComment: {
                // Nothing in them is shown: on to the byte that ends them.
                const char wanted = state_ == State::RawText          ? '<'
                                    : state_ == State::AttributeValue ? static_cast<char>(quote_)
                                                                      : '>';
                const char* found = skipTo(q, wanted);
                if (found == nullptr) {
                    return static_cast<std::size_t>(end - p);
                }
                q = found;
                break;
            }
            case State::TagName:
                while (q != end && isAlnumCode(static_cast<unsigned char>(*q))) {
                    if (tagName_.size() < kMaxTagName) {
                        tagName_.push_back(lowerAZ(*q));
                    }
                    ++q;
                }
                break;
            case State::Attributes: {
                const char* const start = q;
                while (q != end && !kAttributeStops[static_cast<unsigned char>(*q)]) {
                    ++q;
                }
                // A quote starts a value only after "=": the last byte that isn't white space
                // tells.
                for (const char* b = q; b != start;) {
                    --b;
                    if (!isSpaceCode(static_cast<unsigned char>(*b))) {
                        afterEquals_ = *b == '=';
                        break;
                    }
                }
                break;
            }
            default:
                break;
        }
        if (q == end || !isAsciiNonNul(*q)) {
            break;
        }
        markup(static_cast<unsigned char>(*q++));
    }
    return static_cast<std::size_t>(q - p);
}

const char* ShownTextProducer::wholeTag(const char* const p, const char* const end) {
    // As markup() reads a tag from TagOpen on, for a tag of ASCII other than NUL outside its
    // attribute values.
    const char* q = p + 1;
    const bool endTag = q != end && *q == '/';
    q += endTag ? 1 : 0;
    if (q == end || !isAsciiAlpha(*q)) {
        return nullptr;
    }
    std::array<char, kMaxTagName> name{};
    std::size_t nameSize = 0;
    std::uint64_t key = 0;
#if defined(__SSE2__)
    // Sixteen bytes at once: a name's length varies from tag to tag, and a loop over it is
    // mispredicted at its end at most tags.
    static_assert(kMaxTagName == 16);
    if (end - q >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        // A letter or digit once lowered is one still, and only those are; a byte beyond ASCII
        // compares as negative.
        const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                              _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
        const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                             _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
        const auto alnum = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(letters, digits)));
        nameSize = static_cast<std::size_t>(std::countr_one(alnum));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(name.data()), lower);
        const auto first8 = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lower));
        key = nameSize >= 8 ? first8 : first8 & ((std::uint64_t{1} << (8 * nameSize)) - 1);
        q += nameSize;
        if (nameSize == 16) {
            while (q != end && isAsciiAlnum(*q)) {
                ++q;
            }
        }
    } else
#endif
    {
        for (; q != end && isAsciiAlnum(*q); ++q) {
            if (nameSize < kMaxTagName) {
                name[nameSize++] = lowerAZ(*q);
            }
        }
        key = tagKey(std::string_view(name.data(), nameSize));
    }
    if (q == end || !isAsciiNonNul(*q)) {
        return nullptr;
    }
    if (*q != '>') {
        // The byte that ends the name is no attribute's. Between values, only the byte before a
        // quote matters: the last one that isn't white space, when it is a "=", starts a value.
        const char* from = ++q;
        for (;;) {
            q = attributeStop(q, end);
            if (q == end || *q == '\0' || !isAsciiNonNul(*q)) {
                return nullptr;
            }
            if (*q == '>') {
                break;
            }
            const char* before = q;
            while (before != from && isSpaceCode(static_cast<unsigned char>(before[-1]))) {
                --before;
            }
            if (before == from || before[-1] != '=') {
                from = ++q;  // a quote that starts no value
                continue;
            }
            const char* const close = findInTag(q + 1, end, *q);
            if (close == nullptr) {
                return nullptr;
            }
            q = close;
            from = ++q;
        }
    }
    endOfTag(std::string_view(name.data(), nameSize), key, endTag);
    return q + 1;
}

void ShownTextProducer::character(char32_t c) {
    if (c == 0) {
        ended_ = true;
    } else if (kind_ == ShownKind::Markup) {
        markup(c);
    } else {
        folder_.put(c);
    }
}

void ShownTextProducer::markup(char32_t c) {
    switch (state_) {
        case State::Text:
            if (c == '<') {
                state_ = State::TagOpen;
            } else if (c == '&') {
                reference_.assign(1, '&');
                state_ = State::Reference;
            } else {
                folder_.put(c);
            }
            return;
        case State::Reference:
            if (reference_.size() < kMaxReference &&
                (isAlnumCode(c) || (c == '#' && reference_.size() == 1))) {
                reference_.push_back(static_cast<char>(c));
                return;
            }
            if (c == ';') {
                reference_.push_back(';');
                flushReference();
                return;
            }
            flushReference();
            markup(c);
            return;
        case State::TagOpen:
            if (isAlphaCode(c)) {
                tagName_.assign(1, lowerAscii(c));
                endTag_ = false;
                state_ = State::TagName;
            } else if (c == '/') {
                state_ = State::EndTagOpen;
            } else if (c == '!') {
                dashes_ = 0;
                state_ = State::DeclarationOpen;
            } else if (c == '?') {
                state_ = State::BogusComment;
            } else {
                // "a < b": no tag after all
                state_ = State::Text;
                folder_.put('<');
                markup(c);
            }
            return;
        case State::EndTagOpen:
            if (isAlphaCode(c)) {
                tagName_.assign(1, lowerAscii(c));
                endTag_ = true;
                state_ = State::TagName;
            } else {
                state_ = c == '>' ? State::Text : State::BogusComment;
            }
            return;
        case State::TagName:
            if (isAlnumCode(c)) {
                if (tagName_.size() < kMaxTagName) {
                    tagName_.push_back(lowerAscii(c));
                }
            } else if (c == '>') {
                endOfTag(tagName_, endTag_);
            } else {
                afterEquals_ = false;
                state_ = State::Attributes;
            }
            return;
        case State::Attributes:
            if (c == '>') {
                endOfTag(tagName_, endTag_);
            } else if (c == '=') {
                afterEquals_ = true;
            } else if ((c == '"' || c == '\'') && afterEquals_) {
                quote_ = c;
                state_ = State::AttributeValue;
            } else if (!isSpaceCode(c)) {
                afterEquals_ = false;
            }
            return;
        case State::AttributeValue:
            if (c == quote_) {
                afterEquals_ = false;
                state_ = State::Attributes;
            }
            return;
        case State::DeclarationOpen:
            if (c == '-') {
                if (++dashes_ == 2) {
                    dashes_ = 0;
                    state_ = State::Comment;
                }
            } else {
                state_ = c == '>' ? State::Text : State::BogusComment;
            }
            return;
        case State::Comment:
            if (c == '-') {
                ++dashes_;
                return;
            }
            if (c == '>' && dashes_ >= 2) {
                state_ = State::Text;
            }
            dashes_ = 0;
            return;
        case State::BogusComment:
            if (c == '>') {
                state_ = State::Text;
            }
            return;
        case State::RawText:
            if (c == '<') {
                rawMatched_ = 0;
                state_ = State::RawTextEnd;
            }
            return;
        case State::RawTextEnd:
            // Looking for "</script" (or the end tag of another hidden element) and a character
            // that ends a tag name.
            if (rawMatched_ == 0 ? c == '/'
                                 : rawMatched_ <= rawName_.size() &&
                                       lowerAscii(c) == rawName_[rawMatched_ - 1] && c < 0x80) {
                ++rawMatched_;
                return;
            }
            if (rawMatched_ == rawName_.size() + 1 && (c == '>' || c == '/' || isSpaceCode(c))) {
                tagName_ = rawName_;
                endTag_ = true;
                if (c == '>') {
                    endOfTag(tagName_, endTag_);
                } else {
                    afterEquals_ = false;
                    state_ = State::Attributes;
                }
                return;
            }
            rawMatched_ = 0;
            state_ = c == '<' ? State::RawTextEnd : State::RawText;
            return;
    }
}

void ShownTextProducer::endOfTag(std::string_view name, bool endTag) {
    endOfTag(name, tagKey(name), endTag);
}

void ShownTextProducer::endOfTag(std::string_view name, std::uint64_t key, bool endTag) {
    if (isBreakTag(name, key)) {
        folder_.putBreak();
    }
    if (!endTag && hidesItsText(name)) {
        rawName_ = name;
        state_ = State::RawText;
    } else {
        state_ = State::Text;
    }
}

void ShownTextProducer::flushReference() {
    state_ = State::Text;
    // Most references of a page stand for characters of markup itself ("List&lt;E&gt;"): those
    // are decoded once, not looked up among two thousand names at each.
    struct Common {
        std::string_view reference;
        char32_t shown = 0;
    };
    static const std::array<Common, 5> kCommon = [] {
        std::array<Common, 5> common{{{"&lt;"}, {"&gt;"}, {"&amp;"}, {"&quot;"}, {"&nbsp;"}}};
        for (Common& one : common) {
            std::size_t length = 0;
            one.shown = utf8CharAt(decodeCharacterReferences(one.reference), 0, length);
        }
        return common;
    }();
    for (const Common& one : kCommon) {
        if (reference_ == one.reference) {
            folder_.put(one.shown);
            reference_.clear();
            return;
        }
    }
    const std::string decoded = decodeCharacterReferences(reference_);
    for (std::size_t i = 0; i < decoded.size();) {
        std::size_t length = 0;
        const char32_t c = utf8CharAt(decoded, i, length);
        folder_.put(c);
        i += length;
    }
    reference_.clear();
}

}  // namespace pelmaro
