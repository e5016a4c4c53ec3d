#include "bench/synthetic_tree.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace pelmaro::bench {
namespace {

const std::vector<std::string> kWords = {"the",
                                         "reader",
                                         "catalogue",
                                         "page",
                                         "function",
                                         "returns",
                                         "value",
                                         "module",
                                         "class",
                                         "method",
                                         "argument",
                                         "default",
                                         "example",
                                         "see",
                                         "also",
                                         "index",
                                         "library",
                                         "configure",
                                         "install",
                                         "option",
                                         "server",
                                         "client",
                                         "request",
                                         "response",
                                         "Setup",
                                         "Tutorial",
                                         "Reference",
                                         "Overview",
                                         "string",
                                         "number",
                                         "list",
                                         "table",
                                         "\xc3\xa9t\xc3\xa9",
                                         "na\xc3\xafve",
                                         "stra\xc3\x9f"
                                         "e",
                                         "data",
                                         "file",
                                         "folder",
                                         "path",
                                         "title"};

std::string sentence(std::mt19937& random, int words) {
    std::string out;
    for (int i = 0; i < words; ++i) {
        if (i > 0) {
            out += ' ';
        }
        out += kWords[random() % kWords.size()];
    }
    return out;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

const std::vector<std::string>& syntheticWords() {
    return kWords;
}

void makeSyntheticTree(const std::string& folder, std::size_t pages) {
    std::mt19937 random(20261207);
    const std::size_t perFolder = 250;
    for (std::size_t n = 0; n < pages; ++n) {
        const std::size_t group = n / perFolder;
        const std::filesystem::path dir = std::filesystem::path(folder) /
                                          ("part" + std::to_string(group / 20)) /
                                          ("chapter" + std::to_string(group));
        if (n % perFolder == 0) {
            std::filesystem::create_directories(dir);
            writeFile(dir / "style.css", "body { font-family: sans-serif; }\n");
        }
        const std::string stem = "page" + std::to_string(n);
        const unsigned kind = random() % 20;
        if (kind == 0) {
            // A tiny GIF: header only, enough to be non-empty.
            writeFile(dir / (stem + ".gif"),
                      std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13));
            continue;
        }
        if (kind == 1) {
            std::string text = sentence(random, 6) + "\r\n\r\n";
            for (int line = 0; line < 40; ++line) {
                text += sentence(random, 12) + "\r\n";
            }
            writeFile(dir / (stem + ".txt"), text);
            continue;
        }
        std::string html =
            "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
            "<link rel=\"stylesheet\" href=\"style.css\">\n<title>" +
            sentence(random, 2 + static_cast<int>(random() % 4)) + " " + std::to_string(n) +
            "</title>\n</head>\n<body>\n";
        const int paragraphs = 4 + static_cast<int>(random() % 20);
        for (int p = 0; p < paragraphs; ++p) {
            html += "<p>" + sentence(random, 60) + "\n" + sentence(random, 30) + "</p>\n";
        }
        html += "<p><a href=\"page" + std::to_string(n + 1) +
                ".html\">next</a></p>\n</body>\n</html>\n";
        writeFile(dir / (stem + ".html"), html);
    }
}

}  // namespace pelmaro::bench
