#include "index/index_store.h"

#include <cinttypes>
#include <cstdio>

#include "platform/error.h"
#include "search/shown_text.h"

namespace pelmaro::index {

std::optional<std::string> indexFileName(platform::FileSystem& files, const std::string& pathFile,
                                         const std::string& cacheFolder) {
    const std::optional<std::string> real = files.realPath(pathFile);
    if (!real || cacheFolder.empty()) {
        return std::nullopt;
    }
    // A hash rather than the path itself: a deep path would pass the file system's limit on the
    // length of a name.
    char name[32];
    std::snprintf(name, sizeof name, "%016" PRIx64 ".trigrams", hashBytes(*real));
    return platform::childName(cacheFolder, name);
}

bool storeIndex(platform::FileSystem& files, const std::string& pathFile,
                const platform::TextList& paths, const std::string& cacheFolder,
                std::stop_token stop, const BuildObserver& observer, const BuildOptions& options) {
    const std::optional<std::string> name = indexFileName(files, pathFile, cacheFolder);
    if (!name) {
        throwCannotCreate(cacheFolder.empty() ? std::string("pelmaro cache") : pathFile, ENOENT);
    }
    files.makeFolders(cacheFolder);
    const auto lock = files.lockFolder(cacheFolder);
    // What a killed writer left is of no use to anyone.
    for (const std::string& temporary : files.temporariesOf(*name)) {
        files.removeFile(temporary);
    }
    const std::optional<std::string> bytes = buildIndex(
        files, paths, identify(*files.realPath(pathFile), paths), stop, observer, options);
    if (!bytes) {
        return false;
    }
    const std::string temporary = files.writeTemporary(*name, *bytes);
    try {
        files.renameFile(temporary, *name);
        files.syncFolder(cacheFolder);
    } catch (const Error&) {
        files.removeFile(temporary);
        throw;
    }
    return true;
}

std::optional<TrigramIndex> loadIndex(platform::FileSystem& files, const std::string& pathFile,
                                      const platform::TextList& paths,
                                      const std::string& cacheFolder) {
    const std::optional<std::string> name = indexFileName(files, pathFile, cacheFolder);
    if (!name || !files.fileExists(*name)) {
        return std::nullopt;
    }
    std::string bytes;
    try {
        bytes = platform::readWholeFile(files, *name);
    } catch (const Error&) {
        return std::nullopt;  // the scan answers instead
    }
    std::optional<TrigramIndex> index = TrigramIndex::parse(std::move(bytes));
    if (!index || index->identity() != identify(*files.realPath(pathFile), paths)) {
        return std::nullopt;
    }
    return index;
}

std::optional<CandidatePages> candidatePages(const TrigramIndex& index, platform::FileSystem& files,
                                             const platform::TextList& paths,
                                             std::string_view text) {
    const std::string folded = foldShownText(text);
    if (folded.size() < 3 || index.pages().size() != paths.size()) {
        return std::nullopt;
    }
    const std::optional<CandidatePages> holding = index.pagesHolding(folded);
    if (!holding) {
        return std::nullopt;
    }
    CandidatePages candidates;
    candidates.reserve(holding->size());
    auto next = holding->begin();
    std::uint32_t n = 0;
    for (const std::string_view path : paths) {
        if (next != holding->end() && *next == n) {
            candidates.push_back(n);
            ++next;
        } else {
            const PageRecord& record = index.pages()[n];
            if (!record.vouched || files.fileStamp(std::string(path)) != record.stamp) {
                candidates.push_back(n);
            }
        }
        ++n;
    }
    return candidates;
}

}  // namespace pelmaro::index
