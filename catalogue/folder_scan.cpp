#include "catalogue/folder_scan.h"

#include <sys/stat.h>

#include <optional>
#include <set>
#include <utility>

#include "platform/error.h"

namespace pelmaro {
namespace {

using platform::FolderId;

struct Subfolder {
    std::string name;  // ends in "/"
    FolderId id;
    std::optional<platform::EntryAccess> access;
    std::optional<platform::LinkedFolder> link;
};

// A folder whose subfolders are still to be scanned, the next one first.
struct OpenFolder {
    std::vector<Subfolder> subfolders;
    std::size_t next = 0;
    // Reached through a link that left the scanned folder.
    bool outside = false;
};

// No line-list file can store a name that holds a line break: the title and path lists would
// slip out of step.
bool hasLineBreak(std::string_view name) {
    return name.find_first_of("\r\n") != std::string_view::npos;
}

// Out of the scanned folder, only what everyone may read is taken: a build run by root must not
// catalogue /etc/shadow because a link led to /etc.
bool everyoneReads(const std::optional<platform::EntryAccess>& access) {
    return access && (access->mode & S_IROTH) != 0;
}

}  // namespace

std::optional<std::int64_t> fileSizeOf(platform::FileSystem& files, const std::string& fileName,
                                       const platform::DirEntry& listed) {
    return listed.sizeListed ? listed.size : files.fileSize(fileName);
}

void collectFiles(platform::FileSystem& files, const std::string& folder,
                  std::vector<std::string>& list, const FolderVisit& beforeEachFolder,
                  const IgnoreRules& leftOut) {
    // Links are followed, so a tree can lead back into itself; a folder already scanned is not
    // scanned again.
    std::set<FolderId> scanned;
    std::vector<OpenFolder> open;
    const std::set<std::uint64_t> systemDevices = files.systemStateDevices();

    const std::string root = folder.empty() || folder.back() != '/' ? folder + "/" : folder;

    // Lists one folder: its files go to `list` at once, its subfolders wait on `open`. False when
    // the scan is to stop.
    const auto scan = [&](const std::string& dir, bool outside) {
        if (beforeEachFolder && !beforeEachFolder()) {
            return false;
        }
        std::vector<platform::DirEntry> entries;
        try {
            entries = files.listFolder(dir);
        } catch (const Error&) {
            // A folder that can't be listed yields nothing; the scan goes on.
        }
        OpenFolder opened;
        opened.outside = outside;
        // The names below the root, as the ignore file writes them ("sub/a.htm").
        const auto isLeftOut = [&](const std::string& name, bool isFolder) {
            return !leftOut.empty() &&
                   leftOut.ignores(std::string_view(name).substr(root.size()), isFolder);
        };
        {
            for (const auto& entry : entries) {
                if (entry.kind == platform::DirEntry::Kind::File && !hasLineBreak(entry.name) &&
                    (!outside || everyoneReads(entry.access)) &&
                    !isLeftOut(dir + entry.name, false)) {
                    std::string name = dir + entry.name;
                    if (fileSizeOf(files, name, entry).value_or(0) > 0) {
                        list.push_back(std::move(name));
                    }
                }
            }
            for (const auto& entry : entries) {
                if (entry.kind == platform::DirEntry::Kind::Directory &&
                    !hasLineBreak(entry.name) && !isLeftOut(dir + entry.name, true)) {
                    opened.subfolders.push_back(
                        {dir + entry.name + "/", entry.id, entry.access, entry.link});
                }
            }
        }
        open.push_back(std::move(opened));
        return true;
    };

    if (hasLineBreak(root)) {
        return;
    }
    if (const auto rootId = files.folderIdentity(root)) {
        if (systemDevices.count(rootId->device) != 0) {
            return;
        }
        scanned.insert(*rootId);
    }
    // Where links may lead is judged by real paths: a link's target against the real folder, at
    // any depth (a link inside a system folder the scan followed is judged the same way).
    const std::string realRoot = files.realPath(root).value_or("");
    const std::string home = files.homeFolder().value_or("");
    if (!scan(root, false)) {
        return;
    }
    // Depth first, without recursion: a deep tree can't exhaust the stack.
    while (!open.empty()) {
        OpenFolder& top = open.back();
        if (top.next == top.subfolders.size()) {
            open.pop_back();
            continue;
        }
        const Subfolder sub = std::move(top.subfolders[top.next++]);
        bool outside = top.outside;
        if (sub.link) {
            if (!platform::mayEnterLinkedFolder(realRoot, *sub.link, home)) {
                continue;
            }
            outside = !platform::isWithinFolder(sub.link->realPath, realRoot);
        } else if (outside && !(sub.access && platform::isPublicSystemFolder(sub.access->owner,
                                                                             sub.access->mode))) {
            continue;
        }
        // /proc and the like hold no pages, and files that never end or that block a reader.
        if (systemDevices.count(sub.id.device) != 0 || !scanned.insert(sub.id).second) {
            continue;
        }
        if (!scan(sub.name, outside)) {
            return;
        }
    }
}

}  // namespace pelmaro
