#pragma once

#include <functional>
#include <string>

// The reader's command line, read before the toolkit starts (so that --help, --version and a
// wrong call need no display). No Qt here.
namespace pelmaro::app {

struct ReaderArguments {
    enum class Action {
        Start,          // no name: start as ever, with the last session
        BuildFolder,    // a folder: Path (F2) on it, the picker answered with `name`
        OpenCatalogue,  // a file: Open (F9) on it, the open dialog answered with `name`
        Help,           // --help, -h: print readerHelp() on stdout, exit 0
        Version,        // --version: print readerVersion() on stdout, exit 0
        UsageError,     // print "pelmaro: " + `message`, then readerUsage(), on stderr; exit 2
    };
    Action action = Action::Start;
    std::string name;     // the folder or the catalogue, absolute
    std::string message;  // what was wrong with the call
};

// What a name given on the command line names.
enum class NameKind { Missing, Folder, File, Other };
using NameKindOf = std::function<NameKind(const std::string& name)>;
// Asks the file system, following symbolic links.
NameKind nameKindOnDisk(const std::string& name);

// Reads the arguments after argv[0]. At most one name, a folder or a file; a relative one is
// taken from `currentFolder`. --help, -h and --version are answered as soon as they are met;
// "--" ends the options. Qt's own options ("-platform offscreen", "-style=fusion", "-reverse",
// ...) are passed over: the toolkit takes them when it starts.
ReaderArguments parseReaderArguments(int argc, const char* const* argv,
                                     const std::string& currentFolder, const NameKindOf& kindOf);
// The same from the process's current folder and the file system.
ReaderArguments parseReaderArguments(int argc, const char* const* argv);

// "usage: pelmaro [FOLDER | CATALOGUE.path]\n"
const char* readerUsage();
// The usage, what the arguments do and where more is said.
const char* readerHelp();
// "pelmaro 1.0\n"
const char* readerVersion();

}  // namespace pelmaro::app
