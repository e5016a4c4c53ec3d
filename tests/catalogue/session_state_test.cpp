#include "catalogue/session_state.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/settings_file.h"
#include "tests/support/checks.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using test::errorOf;
using test::inodeOf;

using Lines = std::vector<std::string>;

const std::string kKey = "[HKEY_LOCAL_MACHINE\\software\\pelmaro]";

std::string settingsWith(const std::string& values) {
    return "REGEDIT4\n\n" + kKey + "\n" + values;
}

// The window's side of start-up and shutdown: its lists, the settings file in a
// temporary folder, and the catalogue files "help/pelmaropath.*" of three entries.
class Session : public testing::Test {
protected:
    Session() {
        current.setOnSwitch([this] { ++switches; });
        dir.write("help/pelmaropath.title", "Alpha\r\nBeta\r\nGamma\r\n");
        dir.write("help/pelmaropath.path", "/h/a.htm\r\n/h/b.htm\r\n/h/c.htm\r\n");
    }

    // "LAST" in `values` stands for the "last" line naming help/pelmaropath.bookmark.
    void writeSettings(std::string values) {
        if (values.rfind("LAST", 0) == 0) {
            values = lastLine() + values.substr(4);
        }
        dir.write("cfg/settings.reg", settingsWith(values));
    }
    std::string lastLine() const {
        return "\"last\"=\"" + (dir / "help/pelmaropath.bookmark") + "\"\n";
    }

    // Runs start-up and records which entry was selected whenever the page was shown.
    void restore() {
        state.restore([this] { shownPages.push_back(titles.selectedIndex()); });
    }

    test::TempDir dir;
    const std::string settingsName = dir / "cfg/settings.reg";
    platform::MemoryList titles;
    platform::MemoryList paths;
    CurrentCatalogue current;
    int switches = 0;
    platform::PosixFileSystem files;
    platform::SettingsFile settings{files, settingsName};
    SessionState state{Catalogue{titles, paths}, current, settings, files};
    std::vector<int> shownPages;
};

TEST_F(Session, FirstRunCreatesKeyLoadsNothingAndStoresAnEmptyLast) {
    restore();
    EXPECT_EQ(current.bookmarkFile(), "");
    EXPECT_EQ(titles.count(), 0);
    EXPECT_TRUE(shownPages.empty());
    EXPECT_EQ(test::readFile(settingsName), settingsWith(""));

    state.save();
    EXPECT_EQ(test::readFile(settingsName), settingsWith("\"last\"=\"\"\n"));  // no "id"
}

TEST_F(Session, RestoresCatalogueEntryAndPage) {
    writeSettings(lastLine() + "\"id\"=dword:00000002\n");
    restore();
    EXPECT_EQ(current.bookmarkFile(), dir / "help/pelmaropath.bookmark");
    EXPECT_EQ(switches, 0);  // start-up loads the bookmarks itself, next
    EXPECT_EQ(titles.items(), (Lines{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(paths.items(), (Lines{"/h/a.htm", "/h/b.htm", "/h/c.htm"}));
    EXPECT_EQ(shownPages, std::vector<int>{2});
}

struct IdCase {
    const char* name;
    std::string idLine;
    int selected;
};

void PrintTo(const IdCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredId : public Session, public testing::WithParamInterface<IdCase> {};

TEST_P(StoredId, SelectsItOrElseTheFirstEntry) {
    writeSettings(lastLine() + GetParam().idLine);
    restore();
    EXPECT_EQ(titles.selectedIndex(), GetParam().selected);
    EXPECT_EQ(shownPages, std::vector<int>{GetParam().selected});
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredId,
                         testing::Values(IdCase{"InRange", "\"id\"=dword:00000001\n", 1},
                                         IdCase{"Missing", "", 0},
                                         IdCase{"EqualToCount", "\"id\"=dword:00000003\n", 0},
                                         IdCase{"BeyondCount", "\"id\"=dword:00000100\n", 0},
                                         IdCase{"Negative", "\"id\"=dword:ffffffff\n", 0},
                                         IdCase{"MostNegative", "\"id\"=dword:80000000\n", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Session, PathFileGoneLoadsNothingButKeepsTheName) {
    writeSettings(lastLine() + "\"id\"=dword:00000001\n");
    std::filesystem::remove(dir / "help/pelmaropath.path");
    restore();
    EXPECT_EQ(current.bookmarkFile(), dir / "help/pelmaropath.bookmark");
    EXPECT_EQ(titles.count(), 0);
    EXPECT_EQ(paths.count(), 0);
    EXPECT_TRUE(shownPages.empty());
}

TEST_F(Session, TitleFileMissingFailsAndReplacesNothing) {
    writeSettings(lastLine());
    std::filesystem::remove(dir / "help/pelmaropath.title");
    paths.assign({"/old.htm"});
    EXPECT_EQ(
        errorOf([&] { restore(); }),
        "Cannot open file \"" + (dir / "help/pelmaropath.title") + "\". No such file or directory");
    EXPECT_EQ(paths.items(), Lines{"/old.htm"});  // the paths are not loaded without titles
    EXPECT_EQ(titles.count(), 0);
    EXPECT_TRUE(shownPages.empty());
    EXPECT_EQ(current.bookmarkFile(), dir / "help/pelmaropath.bookmark");
}

TEST_F(Session, EmptyLastLooksForNoFile) {
    writeSettings("\"last\"=\"\"\n");
    restore();
    EXPECT_EQ(current.bookmarkFile(), "");
    EXPECT_EQ(titles.count(), 0);
}

struct TypeCase {
    const char* name;
    std::string values;
    std::string error;
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.name;
}

class WrongType : public Session, public testing::WithParamInterface<TypeCase> {};

TEST_P(WrongType, EndsStartUpWithTheRegistryErrorAndLeavesTheFile) {
    writeSettings(GetParam().values);
    const std::string before = test::readFile(settingsName);
    EXPECT_EQ(errorOf([&] { restore(); }), GetParam().error);
    EXPECT_EQ(titles.selectedIndex(), -1);
    EXPECT_TRUE(shownPages.empty());
    EXPECT_EQ(test::readFile(settingsName), before);
    EXPECT_NO_THROW(settings.openKey());  // the key was closed
    settings.closeKey();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrongType,
    testing::Values(TypeCase{"LastAsDword", "\"last\"=dword:00000001\n",
                             "Invalid data type for 'last'"},
                    TypeCase{"IdAsString", "LAST\"id\"=\"1\"\n", "Invalid data type for 'id'"},
                    TypeCase{"IdLongerThanFourBytes", "LAST\"id\"=hex(4):01,00,00,00,00\n",
                             "Failed to get data for 'id'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Session, SaveStoresSelectionAndNameAndLeavesEqualValues) {
    writeSettings(lastLine() + "\"id\"=dword:00000001\n");
    restore();
    const ino_t inode = inodeOf(settingsName);
    state.save();  // the same entry and catalogue: nothing to write
    EXPECT_EQ(inodeOf(settingsName), inode);

    titles.select(2);
    current.restore("/other/Notes.bookmark");
    state.save();
    EXPECT_EQ(test::readFile(settingsName),
              settingsWith("\"last\"=\"/other/Notes.bookmark\"\n\"id\"=dword:00000002\n"));

    titles.clearSelection();
    state.save();  // no selection: "id" stays
    EXPECT_EQ(test::readFile(settingsName),
              settingsWith("\"last\"=\"/other/Notes.bookmark\"\n\"id\"=dword:00000002\n"));

    // An unsaved build is shown: its entry would be a wrong one in the stored catalogue.
    current.showUnsaved();
    titles.select(0);
    state.save();
    EXPECT_EQ(test::readFile(settingsName),
              settingsWith("\"last\"=\"/other/Notes.bookmark\"\n\"id\"=dword:00000002\n"));
}

TEST_F(Session, NoSettingsFileMeansNoSettingsSilently) {
    dir.write("cfg", "a file where the folder should be");
    restore();
    EXPECT_EQ(titles.count(), 0);
    titles.assign({"x"});
    titles.select(0);
    current.restore("/a.bookmark");
    state.save();
    EXPECT_EQ(test::readFile(dir / "cfg"), "a file where the folder should be");
}

TEST_F(Session, DamagedSettingsAreReportedAtStartUpOnlyAndKept) {
    dir.write("cfg/settings.reg", "not a registry file");
    const std::string message = errorOf([&] { restore(); });
    EXPECT_NE(message.find(settingsName), std::string::npos) << message;
    EXPECT_NE(message.find("line 1"), std::string::npos) << message;
    titles.assign({"x"});
    titles.select(0);
    EXPECT_EQ(errorOf([&] { state.save(); }), "(no error)");
    EXPECT_EQ(test::readFile(settingsName), "not a registry file");
}

}  // namespace
}  // namespace pelmaro

namespace pelmaro {
namespace {

// The catalogues opened last come back newest first, ten at most, beside "last" and "id".
TEST_F(Session, KeepsTheTenCataloguesOpenedLastAsValuesOfTheirOwn) {
    restore();
    for (int i = 1; i <= 12; ++i) {
        current.switchTo("/c" + std::to_string(i) + "/pelmaropath.bookmark");
        state.rememberCurrent();
    }
    current.switchTo("/c5/pelmaropath.bookmark");  // opened again: the newest once more
    state.rememberCurrent();
    current.showUnsaved();  // a build not stored is nothing to come back to
    state.rememberCurrent();
    ASSERT_EQ(state.recent().size(), SessionState::kMostRecent);
    EXPECT_EQ(state.recent().front(), "/c5/pelmaropath.bookmark");
    EXPECT_EQ(state.recent()[1], "/c12/pelmaropath.bookmark");
    EXPECT_EQ(state.recent().back(), "/c3/pelmaropath.bookmark");
    const std::vector<std::string> kept = state.recent();
    state.save();

    SessionState next{Catalogue{titles, paths}, current, settings, files};
    next.restore({});
    EXPECT_EQ(next.recent(), kept);
    // One forgotten: the value that held the oldest is emptied, not left to come back.
    next.forget("/c12/pelmaropath.bookmark");
    next.save();
    const std::string stored = test::readFile(settingsName);
    EXPECT_NE(stored.find("\"recent10\"=\"\""), std::string::npos);
    EXPECT_EQ(stored.find("/c12/"), std::string::npos);
    EXPECT_NE(stored.find("\"last\"=\"/c5/pelmaropath.bookmark\""), std::string::npos);

    SessionState third{Catalogue{titles, paths}, current, settings, files};
    third.restore({});
    EXPECT_EQ(third.recent().size(), SessionState::kMostRecent - 1);
}

}  // namespace
}  // namespace pelmaro
