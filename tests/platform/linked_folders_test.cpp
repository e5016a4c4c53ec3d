#include "platform/linked_folders.h"

#include <gtest/gtest.h>

namespace pelmaro::platform {
namespace {

constexpr std::uint32_t kDirectory = 040000;
constexpr const char* kRoot = "/home/ann/Downloads/help";
constexpr const char* kHome = "/home/ann";

TEST(LinkedFolders, FolderLinksLeaveOnlyIntoSystemDocumentation) {
    struct Case {
        const char* what;
        LinkedFolder target;
        bool allowed;
    };
    const Case cases[] = {
        {"inside the folder", {"/home/ann/Downloads/help/api", 1000, 0700}, true},
        {"inside, deeper", {"/home/ann/Downloads/help/a/b", 1000, 0777}, true},
        {"the folder itself", {kRoot, 1000, 0755}, false},
        {"its parent", {"/home/ann/Downloads", 1000, 0755}, false},
        {"a name that only starts like it", {"/home/ann/Downloads/helpers", 0, 0755}, false},
        {"the disk's root", {"/", 0, 0755}, false},
        {"system documentation", {"/usr/share/doc/bash", 0, 0755}, true},
        {"a sticky system folder", {"/usr/lib/jvm/docs", 0, 01755}, true},
        {"in the home, though root's", {"/home/ann/.cache/doc", 0, 0755}, false},
        {"containing the home", {"/home", 0, 0755}, false},
        {"not root's", {"/opt/doc", 1000, 0755}, false},
        {"group-writable", {"/opt/doc", 0, 0775}, false},
        {"world-writable like /tmp", {"/tmp", 0, 01777}, false},
        {"not readable by others", {"/var/lib/private", 0, 0751}, false},
        {"not searchable by others", {"/var/spool/x", 0, 0754}, false},
        {"no real path", {"", 0, 0755}, false},
        {"root's, inside a folder only its owner enters",
         {"/tmp/x-AbC123/doc", 0, 0755, false},
         false},
    };
    for (const auto& c : cases) {
        LinkedFolder target = c.target;
        target.mode |= kDirectory;
        EXPECT_EQ(mayEnterLinkedFolder(kRoot, target, kHome), c.allowed) << c.what;
    }
    // A folder whose real path is unknown can judge no link out; an unknown home refuses none.
    EXPECT_FALSE(mayEnterLinkedFolder("", {"/usr/share/doc/bash", 0, 0755}, kHome));
    EXPECT_TRUE(mayEnterLinkedFolder(kRoot, {"/usr/share/doc/bash", 0, 0755}, ""));
    // A home of "/" holds everything.
    EXPECT_FALSE(mayEnterLinkedFolder(kRoot, {"/usr/share/doc/bash", 0, 0755}, "/"));
    // Building the disk's root: every link stays inside.
    EXPECT_TRUE(mayEnterLinkedFolder("/", {"/home/ann", 1000, 0700}, kHome));
    EXPECT_FALSE(mayEnterLinkedFolder("/", {"/", 0, 0755}, kHome));
}

TEST(LinkedFolders, LinkedFilesOutsideMustBeReadableByEveryone) {
    const LinkedFolder javascript{"/usr/share/javascript/jquery", 0, 0755};
    const LinkedFolder etc{"/etc", 0, 0755};
    struct Case {
        const char* what;
        LinkedFile target;
        bool allowed;
    };
    const Case cases[] = {
        {"a shared script", {"/usr/share/javascript/jquery/jquery.js", 0644, javascript}, true},
        {"a public file of /etc", {"/etc/hostname", 0644, etc}, true},
        {"/etc/shadow", {"/etc/shadow", 0640, etc}, false},
        {"inside the folder, private",
         {"/home/ann/Downloads/help/a.htm", 0600, {kRoot, 1000, 0700}},
         true},
        {"in the home", {"/home/ann/notes.htm", 0644, {kHome, 1000, 0755}}, false},
        {"beside the folder",
         {"/home/ann/Downloads/x.htm", 0644, {"/home/ann/Downloads", 0, 0755}},
         false},
        {"in a world-writable folder", {"/tmp/x.htm", 0644, {"/tmp", 0, 01777}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mayReadLinkedFile(kRoot, c.target, kHome), c.allowed) << c.what;
    }
}

}  // namespace
}  // namespace pelmaro::platform
