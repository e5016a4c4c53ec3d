#include "app/reader_arguments.h"

#include <array>
#include <filesystem>
#include <string_view>

#include "platform/file_names.h"

namespace pelmaro::app {
namespace {

// The options every Qt program takes (see qt6options(7)), with one dash or two.
constexpr std::array<std::string_view, 16> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "name",          "title",   "icon",
    "visual"};
constexpr std::array<std::string_view, 5> kQtOptionsAlone = {"reverse", "widgetcount", "nograb",
                                                             "dograb", "sync"};
constexpr std::array<std::string_view, 5> kQtOptionsJoined = {
    "style=", "stylesheet=", "qmljsdebugger=", "dialogs=", "fontengine="};

template <std::size_t N>
bool among(std::string_view option, const std::array<std::string_view, N>& options) {
    for (const std::string_view candidate : options) {
        if (option == candidate) {
            return true;
        }
    }
    return false;
}

template <std::size_t N>
bool startsWithAny(std::string_view option, const std::array<std::string_view, N>& prefixes) {
    for (const std::string_view prefix : prefixes) {
        if (option.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return false;
}

ReaderArguments usageError(std::string message) {
    ReaderArguments wrong;
    wrong.action = ReaderArguments::Action::UsageError;
    wrong.message = std::move(message);
    return wrong;
}

}  // namespace

NameKind nameKindOnDisk(const std::string& name) {
    std::error_code error;
    const auto status = std::filesystem::status(name, error);
    if (error || status.type() == std::filesystem::file_type::not_found) {
        return NameKind::Missing;
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return NameKind::Folder;
    }
    if (status.type() == std::filesystem::file_type::regular) {
        return NameKind::File;
    }
    return NameKind::Other;
}

ReaderArguments parseReaderArguments(int argc, const char* const* argv,
                                     const std::string& currentFolder, const NameKindOf& kindOf) {
    bool options = true;
    bool named = false;
    std::string given;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg.size() > 1 && arg.front() == '-') {
            if (arg == "--help" || arg == "-h") {
                return {ReaderArguments::Action::Help, {}, {}};
            }
            if (arg == "--version") {
                return {ReaderArguments::Action::Version, {}, {}};
            }
            const std::string_view option = arg.substr(arg.substr(0, 2) == "--" ? 2 : 1);
            if (among(option, kQtOptionsWithValue)) {
                if (i + 1 == argc) {
                    return usageError("option \"" + std::string(arg) + "\" needs a value");
                }
                ++i;
                continue;
            }
            if (among(option, kQtOptionsAlone) || startsWithAny(option, kQtOptionsJoined)) {
                continue;
            }
            return usageError("unknown option \"" + std::string(arg) + "\"");
        }
        if (named) {
            return usageError("one FOLDER or CATALOGUE.path at most");
        }
        named = true;
        given = arg;
    }
    if (!named) {
        return {};
    }
    const std::string name = absoluteName(given, currentFolder);
    switch (given.empty() ? NameKind::Missing : kindOf(name)) {
        case NameKind::Folder:
            return {ReaderArguments::Action::BuildFolder, name, {}};
        case NameKind::File:
            return {ReaderArguments::Action::OpenCatalogue, name, {}};
        case NameKind::Missing:
            return usageError("\"" + (given.empty() ? given : name) +
                              "\" is neither a folder nor a file");
        case NameKind::Other:
            break;
    }
    return usageError("\"" + name + "\" is neither a folder nor a regular file");
}

ReaderArguments parseReaderArguments(int argc, const char* const* argv) {
    std::error_code error;
    const std::string current = std::filesystem::current_path(error).string();
    return parseReaderArguments(argc, argv, current, nameKindOnDisk);
}

const char* readerUsage() {
    return "usage: pelmaro [FOLDER | CATALOGUE.path]\n";
}

const char* readerHelp() {
    return "pelmaro: a reader for a folder tree of local web pages, images and text files.\n"
           "\n"
           "usage: pelmaro [FOLDER | CATALOGUE.path]\n"
           "\n"
           "  FOLDER          build the folder's catalogue, as Path (F2) does, and offer to store\n"
           "                  it there\n"
           "  CATALOGUE.path  open a stored catalogue (pelmaropath.path), as Open (F9) does\n"
           "  -h, --help      show this help and exit\n"
           "  --version       show the version and exit\n"
           "\n"
           "Without a name the reader comes back with the catalogue and entry of the last\n"
           "session. Qt's own options (-platform, -style, -reverse, ...) are taken as well.\n"
           "See pelmaro(1); pelmaro-cli(1) builds and searches catalogues without the window.\n";
}

const char* readerVersion() {
    return "pelmaro " PELMARO_VERSION "\n";
}

}  // namespace pelmaro::app
