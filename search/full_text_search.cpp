#include "search/full_text_search.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "search/read_ahead.h"
#include "search/shown_text_search.h"
#include "search/text_matcher.h"

namespace pelmaro {

bool fileContainsText(platform::FileSystem& files, const std::string& fileName,
                      std::string_view text) {
    return FileTextScanner(text).scan(files, fileName) == FileTextScanner::Outcome::Found;
}

namespace {

using Outcome = FileTextScanner::Outcome;

constexpr unsigned kMostWorkers = 8;
// How many files each worker may read ahead of the observer: enough that one long file holds no
// worker up, few enough that a stop leaves little read for nothing.
constexpr std::size_t kAheadPerWorker = 32;

// What reading one file gave.
struct FileResult {
    Outcome outcome = Outcome::NotFound;
    std::optional<std::string> skipped;  // why it could not be read
    PageHits hits;
};

// A scanner of either rule, one per thread.
class AnyScanner {
public:
    AnyScanner(std::string_view text, TextRule rule, bool countAll) {
        if (rule == TextRule::StoredBytes) {
            bytes_.emplace(text);
        } else {
            shown_.emplace(text);
            shown_->countAllHits(countAll);
        }
    }

    FileResult scan(platform::FileSystem& files, const std::string& fileName,
                    const std::function<bool()>& keepGoing, std::size_t n,
                    const ResumePointsOf& resumeOf) {
        FileResult result;
        try {
            if (bytes_) {
                result.outcome = bytes_->scan(files, fileName, keepGoing);
                result.hits = {1, 0};
            } else {
                const bool resume = resumeOf && resumeOf(n, resume_);
                result.outcome =
                    shown_->scan(files, fileName, keepGoing, resume ? &resume_ : nullptr);
                const ShownTextMatcher& matcher = shown_->matcher();
                if (result.outcome != Outcome::Abandoned && matcher.found()) {
                    // Found when every hit was counted: scan() read the whole file for them.
                    result.outcome = Outcome::Found;
                    constexpr std::size_t most = std::numeric_limits<std::uint32_t>::max();
                    result.hits = {
                        static_cast<std::uint32_t>(std::min(matcher.hits(), most)),
                        static_cast<std::uint32_t>(std::min(matcher.firstHit().value_or(0), most))};
                }
            }
        } catch (const Error& error) {
            result.skipped = error.what();
        }
        return result;
    }

private:
    std::optional<FileTextScanner> bytes_;
    std::optional<ShownTextScanner> shown_;
    ResumePoints resume_;
};

// Tells the observer what file n gave; false when the search ends there (stopped inside it).
bool tell(std::size_t n, const FileResult& result, const FullTextObserver& observer) {
    if (result.skipped) {
        if (observer.skipped) {
            observer.skipped(n, *result.skipped);
        }
        return true;
    }
    if (result.outcome == Outcome::Abandoned) {
        return false;  // file n was not searched to its end: the searched ones are 0 to n - 1
    }
    if (result.outcome == Outcome::Found) {
        if (observer.found) {
            observer.found(n);
        }
        if (observer.counted) {
            observer.counted(n, result.hits);
        }
    }
    return true;
}

bool searchHere(AnyScanner& scanner, platform::FileSystem& files, const platform::TextList& paths,
                std::stop_token stop, const FullTextObserver& observer,
                const ResumePointsOf& resumeOf) {
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };
    auto path = paths.begin();
    for (std::size_t n = 0; n < paths.size(); ++n, ++path) {
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        if (!tell(n, scanner.scan(files, std::string(*path), keepGoing, n, resumeOf), observer)) {
            return false;
        }
    }
    return !stop.stop_requested();
}

using FileReadAhead = ReadAhead<FileResult>;

bool searchAhead(FileReadAhead& readAhead, const platform::TextList& paths, std::stop_token stop,
                 const FullTextObserver& observer) {
    for (std::size_t n = 0; n < paths.size(); ++n) {
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        if (!tell(n, readAhead.take(n), observer)) {
            return false;
        }
    }
    return !stop.stop_requested();
}

}  // namespace

bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule, unsigned threads, const ResumePointsOf& resumeOf) {
    if (text.empty()) {
        return true;  // an empty text is never found: no file need be read
    }
    if (rule == TextRule::Shown && ShownTextMatcher(text).empty()) {
        return true;  // only white space: found nowhere
    }
    const bool countAll = static_cast<bool>(observer.counted);
    if (threads == 0) {
        // One more than the cores: a worker waiting for the disk leaves its core to another.
        threads = std::clamp(std::thread::hardware_concurrency() + 1, 1u, kMostWorkers);
    }
    if (files.threadSafeReads() && threads > 1 && paths.size() > 1) {
        std::optional<FileReadAhead> readAhead;
        try {
            // Each worker scans with a scanner and a buffer of its own.
            readAhead.emplace(
                paths.size(), threads, kAheadPerWorker, stop,
                [&files, &paths, text = std::string(text), rule, countAll, &resumeOf] {
                    auto scanner = std::make_shared<AnyScanner>(text, rule, countAll);
                    return [&files, &paths, scanner, &resumeOf](
                               std::size_t n, const FileReadAhead::KeepGoing& keepGoing) {
                        return scanner->scan(files, std::string(paths[n]), keepGoing, n, resumeOf);
                    };
                });
        } catch (const std::system_error&) {
            // No threads to be had: the search runs here, as slowly as ever.
        }
        if (readAhead) {
            return searchAhead(*readAhead, paths, stop, observer);
        }
    }
    AnyScanner scanner(text, rule, countAll);
    return searchHere(scanner, files, paths, stop, observer, resumeOf);
}

bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule, const CandidatePages* candidates, unsigned threads,
                 const ResumePointsOf& resumeOf) {
    // When most pages may hold the text, all are read: the few left out save less than listing
    // the others costs, and reading a page the index rules out changes no answer.
    if (candidates == nullptr || rule != TextRule::Shown || candidates->size() * 2 > paths.size()) {
        return searchFiles(files, paths, text, stop, observer, rule, threads, resumeOf);
    }
    platform::TextList chosen;
    for (const std::uint32_t page : *candidates) {
        if (page < paths.size()) {
            chosen.push_back(paths[page]);
        }
    }
    const auto place = [&](std::size_t n) { return static_cast<std::size_t>((*candidates)[n]); };
    FullTextObserver placed;
    if (observer.reading) {
        placed.reading = [&](std::size_t n) { observer.reading(place(n)); };
    }
    if (observer.found) {
        placed.found = [&](std::size_t n) { observer.found(place(n)); };
    }
    if (observer.skipped) {
        placed.skipped = [&](std::size_t n, const std::string& message) {
            observer.skipped(place(n), message);
        };
    }
    if (observer.counted) {
        placed.counted = [&](std::size_t n, const PageHits& hits) {
            observer.counted(place(n), hits);
        };
    }
    ResumePointsOf placedResume;
    if (resumeOf) {
        placedResume = [&](std::size_t n, ResumePoints& out) { return resumeOf(place(n), out); };
    }
    return searchFiles(files, chosen, text, stop, placed, rule, threads, placedResume);
}

}  // namespace pelmaro
