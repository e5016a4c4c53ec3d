#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmaro::platform {

// What a link leads to, as the system tells it: the real path (no links, no "." or "..", no
// trailing "/"), the owner's user id and the mode bits.
struct LinkedFolder {
    std::string realPath;
    std::uint32_t owner = 0;
    std::uint32_t mode = 0;
    // Every folder above it may be passed through by everyone (see everyoneReaches).
    bool reachedByEveryone = true;
};

struct LinkedFile {
    std::string realPath;
    std::uint32_t mode = 0;
    // The folder the file really lies in.
    LinkedFolder folder;
};

// What a folder of pages may lead to through links. A folder is a stranger's work: a link in it
// must not carry a build (or a page) to the rest of the machine, such as "ln -s / root" or
// "ln -s .. up" cataloguing the first line of every file on the disk. Links that stay inside the
// folder are always fine. Out of it, a link may lead only into system documentation: a folder
// that root owns and only root may change, that everyone may read, and that neither holds nor is
// held by the user's home. Debian's documentation packages are made of such links:
// /usr/share/doc/openjdk-17-doc/api leads into /usr/lib/jvm/..., and python3.11-doc links
// _static/jquery.js to /usr/share/javascript. The folder itself and its ancestors ("/" among
// them) never qualify, nor does /tmp (anyone may write there).
//
// `realRoot` is the real path of the folder of pages, `home` the real path of the user's home
// ("" when unknown). Both without a trailing "/", except "/" itself.

// May a scan of the folder whose real path is `realRoot` enter `target`, a folder reached
// through a link, for the user whose home is `home`? The system's state (/proc, /sys, /dev) is
// the scan's own business: it knows those devices.
bool mayEnterLinkedFolder(const std::string& realRoot, const LinkedFolder& target,
                          const std::string& home);

// May a page of that folder show `target`, a single file reached through links? The file's real
// folder must pass mayEnterLinkedFolder (or lie inside the folder of pages), and, out of it,
// everyone must be allowed to read the file: /etc is root's, yet /etc/shadow never is shown.
bool mayReadLinkedFile(const std::string& realRoot, const LinkedFile& target,
                       const std::string& home);

// The part of the rule about owner and mode alone: root's, changed by root only, read and
// searched by everyone. A scan that has followed a link out of its folder holds every folder
// below to it too, so that a public folder's private corner (a key store kept 0700) stays shut
// even to a build run as root.
bool isPublicSystemFolder(std::uint32_t owner, std::uint32_t mode);

// Every folder above `realPath` ("/" included) may be passed through by everyone. A folder that
// only its owner may enter (a home, a private temporary folder) holds no system documentation,
// whoever owns what lies below it.
bool everyoneReaches(const std::string& realPath);

// `path` is `folder` or lies below it ("/a/b" in "/a" and in "/a/", "/ab" not in "/a";
// everything in "/"). The one rule for it: the scan, the page trees, the contents and the
// reader's "leave out" ask it.
bool isWithinFolder(std::string_view path, std::string_view folder);

}  // namespace pelmaro::platform
