// How long the Contents view takes to appear over a large catalogue: making the tree from the
// paths (no file read) and ordering the largest folder by title.
//
//     pelmaro-contents-bench [ENTRIES]   (1,000,000 by default)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/contents_tree.h"

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    using Clock = std::chrono::steady_clock;
    // A documentation tree's shape: 100 packages of 100 folders; one flat folder holds a tenth.
    pelmaro::platform::TextList paths;
    for (std::size_t i = 0; i < entries; ++i) {
        if (i % 10 == 0) {
            paths.push_back("/usr/share/doc/big/html/flat/page" + std::to_string(i) + ".html");
        } else {
            paths.push_back("/usr/share/doc/big/html/pkg" + std::to_string(i % 100) + "/class" +
                            std::to_string(i / 100 % 100) + "/member" + std::to_string(i) +
                            ".html");
        }
    }
    const auto title = [](std::uint32_t entry) { return "Page " + std::to_string(entry); };
    for (int run = 0; run < 3; ++run) {
        const Clock::time_point start = Clock::now();
        pelmaro::ContentsTree tree(paths);
        const Clock::time_point made = Clock::now();
        const auto& top = tree.children(tree.root(), title);
        const Clock::time_point topOrdered = Clock::now();
        // The flat folder, the largest.
        const auto flat = std::find_if(top.begin(), top.end(), [&](auto node) {
            return tree.isFolder(node) && tree.folderName(node) == "flat";
        });
        const std::size_t flatSize = flat == top.end() ? 0 : tree.children(*flat, title).size();
        const Clock::time_point flatOrdered = Clock::now();
        const auto ms = [](auto a, auto b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        std::printf(
            "%zu entries: tree made %.1f ms, top folder ordered %.1f ms, "
            "%zu pages of one folder ordered %.1f ms\n",
            entries, ms(start, made), ms(made, topOrdered), flatSize, ms(topOrdered, flatOrdered));
    }
    return 0;
}
