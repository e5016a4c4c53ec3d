#include "search/shown_text_search.h"

#include <algorithm>
#include <functional>

#include "catalogue/page_text.h"
#include "catalogue/strings.h"
#include "platform/byte_text.h"

namespace pelmaro {
namespace {

constexpr std::size_t kSlice = 16 * 1024;

}  // namespace

ShownTextMatcher::ShownTextMatcher(std::string_view searchText)
    : folded_(foldShownText(searchText)) {}

void ShownTextMatcher::reset(bool countAll) {
    countAll_ = countAll;
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
        const std::size_t at = window.find(folded_, from);
        if (at == std::string_view::npos) {
            break;
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
    : matcher_(text), blockSize_(std::max({blockSize, kRtfSignature.size(), std::size_t{1}})) {
    buffer_.resize(blockSize_);
}

bool ShownTextScanner::feedMatcher() {
    if (head_ != nullptr) {
        head_->append(shown_, 0, std::min(shown_.size(), headSize_ - head_->size()));
        shown_.clear();
        return head_->size() >= headSize_;
    }
    const bool found = matcher_.feed(shown_);
    shown_.clear();
    return found;
}

bool ShownTextScanner::contains(std::string_view bytes, ShownKind kind) {
    matcher_.reset();
    producer_.start(kind);
    while (!bytes.empty() && !producer_.ended()) {
        const std::size_t size = std::min(bytes.size(), blockSize_);
        producer_.feed(bytes.substr(0, size), shown_);
        bytes.remove_prefix(size);
        if (feedMatcher()) {
            return true;
        }
    }
    producer_.finish(shown_);
    return feedMatcher();
}

std::string ShownTextScanner::shownHead(platform::FileSystem& files, const std::string& fileName,
                                        std::size_t size) {
    std::string head;
    if (size == 0) {
        return head;
    }
    struct Restore {
        ShownTextScanner& scanner;
        bool countAll;
        ~Restore() {
            scanner.head_ = nullptr;
            scanner.countAll_ = countAll;
        }
    } restore{*this, countAll_};
    head_ = &head;
    headSize_ = size;
    countAll_ = false;  // the head is complete at its size: stop there
    scan(files, fileName);
    return head;
}

ShownTextScanner::Outcome ShownTextScanner::scan(platform::FileSystem& files,
                                                 const std::string& fileName,
                                                 const std::function<bool()>& keepGoing) {
    matcher_.reset(countAll_);
    if (matcher_.empty() && head_ == nullptr) {
        return Outcome::NotFound;
    }
    const ShownKind kind = shownKindOf(fileName);
    if (kind == ShownKind::FileName) {
        // An image's bytes are no text: only its name is. It is opened all the same, so that a
        // file gone since the catalogue was built is reported like any other.
        files.openForReading(fileName);
        std::string_view name(fileName);
        name.remove_prefix(std::min(name.size(), name.rfind('/') + 1));
        producer_.start(ShownKind::PlainText, ShownTextProducer::Encoding::MixedUtf8);
        producer_.feed(name, shown_);
        producer_.finish(shown_);
        return feedMatcher() ? Outcome::Found : Outcome::NotFound;
    }
    auto file = files.openForReading(fileName);
    const auto readBlock = [&](std::size_t atLeast) {
        std::size_t got = 0;
        while (got < atLeast) {
            const std::size_t more = file->read(buffer_.data() + got, blockSize_ - got);
            if (more == 0) {
                break;
            }
            got += more;
        }
        return got;
    };
    std::size_t got = readBlock(kRtfSignature.size());
    if (startsAsRtf(std::string_view(buffer_.data(), got))) {
        // Rare in documentation trees: the text comes from the page-text loader's RTF reader, a
        // piece at a time. Its "\'e9" gives bytes of the document's code page, "\u233?" UTF-8.
        producer_.start(ShownKind::PlainText, ShownTextProducer::Encoding::MixedUtf8);
        bool found = false;
        const auto sink = [&](std::string_view piece) {
            if (!found || countAll_) {
                producer_.feed(piece, shown_);
                found = feedMatcher();
            }
        };
        // Once found, the rest of the document needn't be read.
        const auto goOn = [&] { return (!found || countAll_) && (!keepGoing || keepGoing()); };
        switch (streamRtfText(*file, std::string(buffer_.data(), got), sink, goOn)) {
            case RtfStream::Text:
                if (!found || countAll_) {
                    producer_.finish(shown_);
                    found = feedMatcher();
                }
                return found ? Outcome::Found : Outcome::NotFound;
            case RtfStream::Stopped:
                return found && !countAll_ ? Outcome::Found : Outcome::Abandoned;
            case RtfStream::NotRtf:
                break;
        }
        // Not valid RTF after all: the file is plain text, read anew.
        matcher_.reset(countAll_);
        if (head_ != nullptr) {
            head_->clear();
        }
        file = files.openForReading(fileName);
        got = readBlock(1);
    }
    producer_.start(kind);
    std::size_t sincePause = 0;
    while (got != 0 && !producer_.ended()) {
        // In slices, so that a common word is found without making the rest of the block.
        for (std::size_t at = 0; at < got; at += kSlice) {
            producer_.feed(std::string_view(buffer_.data() + at, std::min(kSlice, got - at)),
                           shown_);
            if (feedMatcher() && !countAll_) {
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
    return feedMatcher() ? Outcome::Found : Outcome::NotFound;
}

}  // namespace pelmaro
