#include "search/full_text_search.h"

#include "platform/error.h"
#include "search/shown_text_search.h"
#include "search/text_matcher.h"

namespace pelmaro {

bool fileContainsText(platform::FileSystem& files, const std::string& fileName,
                      std::string_view text) {
    return FileTextScanner(text).scan(files, fileName) == FileTextScanner::Outcome::Found;
}

namespace {

template <typename Scanner>
bool searchWith(Scanner& scanner, platform::FileSystem& files, const platform::TextList& paths,
                std::stop_token stop, const FullTextObserver& observer,
                const CandidatePages* candidates) {
    const auto keepGoing = [&stop] { return !stop.stop_requested(); };
    auto path = paths.begin();
    std::size_t nextCandidate = 0;
    for (std::size_t n = 0; n < paths.size(); ++n, ++path) {
        if (candidates != nullptr) {
            if (nextCandidate == candidates->size()) {
                break;
            }
            if ((*candidates)[nextCandidate] != n) {
                continue;
            }
            ++nextCandidate;
        }
        if (observer.reading) {
            observer.reading(n);
        }
        if (stop.stop_requested()) {
            return false;
        }
        FileTextScanner::Outcome outcome;
        try {
            outcome = scanner.scan(files, std::string(*path), keepGoing);
        } catch (const Error& error) {
            if (observer.skipped) {
                observer.skipped(n, error.what());
            }
            continue;
        }
        if (outcome == FileTextScanner::Outcome::Found && observer.found) {
            observer.found(n);
        }
    }
    return !stop.stop_requested();
}

}  // namespace

bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule, const CandidatePages* candidates) {
    if (text.empty()) {
        return true;  // an empty text is never found: no file need be read
    }
    if (rule == TextRule::StoredBytes) {
        FileTextScanner scanner(text);
        return searchWith(scanner, files, paths, stop, observer, nullptr);
    }
    ShownTextScanner scanner(text);
    if (scanner.matcher().empty()) {
        return true;  // only white space: found nowhere
    }
    return searchWith(scanner, files, paths, stop, observer, candidates);
}

}  // namespace pelmaro
