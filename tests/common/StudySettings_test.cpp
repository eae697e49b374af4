#include "common/StudySettings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <limits>

#include "common/TextConversion.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const char* const kDefaultChsFile = "2000\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n";
const char* const kInvalidFilename = "An invalid data filename was entered.";

// Fields 1 to 12, the ones a settings record carries from study to study.
void ExpectSameValues(const StudySettings& expected, const StudySettings& actual) {
    EXPECT_EQ(expected.dataFileName, actual.dataFileName);
    EXPECT_EQ(expected.preliminaryIterations, actual.preliminaryIterations);
    EXPECT_EQ(expected.drawsPerRespondent, actual.drawsPerRespondent);
    EXPECT_EQ(expected.drawSkip, actual.drawSkip);
    EXPECT_EQ(expected.logSkip, actual.logSkip);
    EXPECT_EQ(expected.saveDraws, actual.saveDraws);
    EXPECT_EQ(expected.totalTaskWeight, actual.totalTaskWeight);
    EXPECT_EQ(expected.smartStart, actual.smartStart);
    EXPECT_EQ(expected.priorDegreesOfFreedom, actual.priorDegreesOfFreedom);
    EXPECT_EQ(expected.priorVariance, actual.priorVariance);
    EXPECT_EQ(expected.effectsCoding, actual.effectsCoding);
    EXPECT_EQ(expected.randomSeed, actual.randomSeed);
}

void ExpectDefaults(const StudySettings& settings) { ExpectSameValues(StudySettings(), settings); }

// A record with every one of fields 2 to 12 away from its default.
StudySettings NonDefaultValues(const std::string& dataFileName) {
    StudySettings settings;
    settings.dataFileName = dataFileName;
    settings.preliminaryIterations = 300;
    settings.drawsPerRespondent = 40;
    settings.drawSkip = 3;
    settings.logSkip = 7;
    settings.saveDraws = true;
    settings.totalTaskWeight = 2.5;
    settings.smartStart = false;
    settings.priorDegreesOfFreedom = 9;
    settings.priorVariance = 0.75;
    settings.effectsCoding = false;
    settings.randomSeed = 31999;
    return settings;
}

// A record whose names file lies in the test's folder.
StudySettings InFolder(const TempDir& dir) {
    StudySettings settings;
    settings.namesFolder = dir.Path().string();
    return settings;
}

std::vector<std::string> FolderEntries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StudySettingsRecord, DefaultsAndCopyRules) {
    StudySettings defaults;
    EXPECT_EQ(defaults.dataFileName, "");
    EXPECT_EQ(defaults.preliminaryIterations, 2000);
    EXPECT_EQ(defaults.drawsPerRespondent, 1000);
    EXPECT_EQ(defaults.drawSkip, 10);
    EXPECT_EQ(defaults.logSkip, 100);
    EXPECT_FALSE(defaults.saveDraws);
    EXPECT_EQ(defaults.totalTaskWeight, 5.0);
    EXPECT_TRUE(defaults.smartStart);
    EXPECT_EQ(defaults.priorDegreesOfFreedom, 5);
    EXPECT_EQ(defaults.priorVariance, 2.0);
    EXPECT_TRUE(defaults.effectsCoding);
    EXPECT_EQ(defaults.randomSeed, 0);
    EXPECT_EQ(defaults.namesFileName, "names.pellik");
    EXPECT_EQ(defaults.settingsExtension, ".set");
    EXPECT_EQ(defaults.NamesFilePath(), "names.pellik");

    StudySettings source = NonDefaultValues("/s/a.chs");
    source.namesFileName = "other.pellik";
    source.settingsExtension = ".cfg";
    source.namesFolder = "/elsewhere";

    StudySettings copy(source);
    ExpectSameValues(source, copy);
    EXPECT_EQ(copy.namesFileName, "other.pellik");
    EXPECT_EQ(copy.settingsExtension, ".cfg");
    EXPECT_EQ(copy.namesFolder, "/elsewhere");

    StudySettings target;
    target.namesFolder = "/mine";
    target = source;
    ExpectSameValues(source, target);
    EXPECT_EQ(target.namesFileName, "names.pellik");
    EXPECT_EQ(target.settingsExtension, ".set");
    EXPECT_EQ(target.namesFolder, "/mine");

    StudySettings& alias = source;
    source = alias;
    ExpectSameValues(NonDefaultValues("/s/a.chs"), source);
    EXPECT_EQ(source.namesFileName, "other.pellik");
    EXPECT_EQ(source.settingsExtension, ".cfg");
}

TEST(StudySettingsNames, KindNameAndFolder) {
    StudySettings s;
    s.dataFileName = "/data/run 1/Study.CHO";
    EXPECT_TRUE(s.IsChoiceData());
    EXPECT_FALSE(s.IsAllocationData());
    EXPECT_EQ(s.StudyName(), "/data/run 1/Study");
    EXPECT_EQ(s.StudyFolder(), "/data/run 1/");
    EXPECT_EQ(s.SettingsFileName(), "/data/run 1/Study.set");

    s.dataFileName = "study.chs";
    EXPECT_TRUE(s.IsAllocationData());
    EXPECT_EQ(s.StudyName(), "study");
    EXPECT_EQ(s.StudyFolder(), "");  // a bare name has no folder

    s.dataFileName = "/x.ChS";
    EXPECT_EQ(s.StudyFolder(), "/");

    for (const char* wrong : {"/data/study.txt", "/data/study.cho ", "cho", ".ch", "", "/data/study.chsx"}) {
        s.dataFileName = wrong;
        EXPECT_FALSE(s.IsChoiceData()) << wrong;
        EXPECT_FALSE(s.IsAllocationData()) << wrong;
        EXPECT_EQ(s.StudyName(), "") << wrong;
        EXPECT_EQ(s.StudyFolder(), "") << wrong;
    }

    // The settings file name drops as many characters as the extension has.
    s.dataFileName = "/d/long-study-name.chs";
    s.settingsExtension = ".settings";
    EXPECT_EQ(s.SettingsFileName(), "/d/long-study.settings");
    s.dataFileName = "ab";
    EXPECT_EQ(s.SettingsFileName(), ".settings");

    s.namesFolder = "/opt/ombrel";
    EXPECT_EQ(s.NamesFilePath(), "/opt/ombrel/names.pellik");
    s.namesFolder = "/opt/ombrel/";
    EXPECT_EQ(s.NamesFilePath(), "/opt/ombrel/names.pellik");
}

TEST(StudySettingsNames, NulByteNeverNamesAStudy) {
    StudySettings s;
    s.dataFileName = std::string("/d/a\0b.chs", 10);
    EXPECT_TRUE(s.IsAllocationData());
    EXPECT_EQ(s.StudyName(), "");
    EXPECT_EQ(s.StudyFolder(), "");
    ScriptedMessenger messenger;
    EXPECT_FALSE(s.ValidateMainSettings(messenger));
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{"An invalid data file was specified."});
}

TEST(SettingsFile, WritesDefaultAllocationStudyByteForByte) {
    TempDir dir;
    StudySettings s = InFolder(dir);
    s.dataFileName = dir.File("study.chs");
    ScriptedMessenger messenger;
    ASSERT_TRUE(s.SaveSettings(messenger));
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_EQ(ReadFileText(dir.File("names.pellik")), dir.File("study.chs"));  // no line terminator
    EXPECT_EQ(ReadFileText(dir.File("study.set")), kDefaultChsFile);
    // Only the two files: the temporary files were renamed into place.
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"names.pellik", "study.set"}));
}

TEST(SettingsFile, WritesRealsInFiveColumnsAndOneForChoiceData) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.dataFileName = dir.File("wide.chs");
    s.totalTaskWeight = 10.0;
    s.priorVariance = 1.237;
    ASSERT_TRUE(s.SaveSettings(messenger));
    EXPECT_EQ(ReadFileText(dir.File("wide.set")), "2000\n1000\n10\n100\n0\n10.00\n1\n5\n 1.24\n1\n0\n");

    StudySettings back = InFolder(dir);
    back.LoadSettings(messenger);
    EXPECT_EQ(back.priorVariance, 1.24);  // more than two decimals do not survive
    EXPECT_EQ(back.totalTaskWeight, 10.0);

    StudySettings choice = InFolder(dir);
    choice.dataFileName = dir.File("pick.CHO");
    choice.totalTaskWeight = 7.5;
    ASSERT_TRUE(choice.SaveSettings(messenger));
    EXPECT_EQ(ReadFileText(dir.File("pick.set")), "2000\n1000\n10\n100\n0\n 1.00\n1\n5\n 2.00\n1\n0\n");
    EXPECT_EQ(choice.totalTaskWeight, 7.5);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsFile, RoundTripsEveryField) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings saved = NonDefaultValues(dir.File("round.chs"));
    saved.namesFolder = dir.Path().string();
    ASSERT_TRUE(saved.SaveSettings(messenger));
    EXPECT_EQ(ReadFileText(dir.File("round.set")), "300\n40\n3\n7\n1\n 2.50\n0\n9\n 0.75\n0\n31999\n");

    StudySettings loaded = InFolder(dir);
    loaded.LoadSettings(messenger);
    ExpectSameValues(saved, loaded);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsFile, SaveTrimsNameAndHandlesEmptyAndInvalidNames) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.dataFileName = "  " + dir.File("t.chs") + " \t";
    ASSERT_TRUE(s.SaveSettings(messenger));
    EXPECT_EQ(s.dataFileName, dir.File("t.chs"));
    EXPECT_EQ(ReadFileText(dir.File("names.pellik")), dir.File("t.chs"));

    // An empty name empties the names file and writes no settings file.
    fs::remove(dir.File("t.set"));
    s.dataFileName = "   ";
    EXPECT_TRUE(s.SaveSettings(messenger));
    EXPECT_EQ(s.dataFileName, "");
    EXPECT_EQ(ReadFileText(dir.File("names.pellik")), "");
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"names.pellik"});
    EXPECT_TRUE(messenger.Entries().empty());

    // A wrong extension: names file written, message, no settings file, values kept.
    StudySettings wrong = NonDefaultValues(dir.File("notes.txt"));
    wrong.namesFolder = dir.Path().string();
    EXPECT_FALSE(wrong.SaveSettings(messenger));
    EXPECT_EQ(ReadFileText(dir.File("names.pellik")), dir.File("notes.txt"));
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"names.pellik"});
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kInvalidFilename);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(messenger.Entries()[0].question);
    ExpectSameValues(NonDefaultValues(dir.File("notes.txt")), wrong);
}

TEST(SettingsFile, FailedSaveKeepsThePreviousFiles) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.dataFileName = dir.File("keep.chs");
    ASSERT_TRUE(s.SaveSettings(messenger));

    // The settings file cannot be replaced (a folder holds its name): false, no temporary left.
    fs::remove(dir.File("keep.set"));
    fs::create_directory(dir.File("keep.set"));
    s.drawSkip = 4;
    EXPECT_FALSE(s.SaveSettings(messenger));
    EXPECT_TRUE(fs::is_directory(dir.File("keep.set")));
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"keep.set", "names.pellik"}));

    // The names file cannot be written: the save stops before the settings file.
    StudySettings lost;
    lost.namesFolder = dir.File("missing-folder");
    lost.dataFileName = dir.File("other.chs");
    EXPECT_FALSE(lost.SaveSettings(messenger));
    EXPECT_FALSE(fs::exists(dir.File("other.set")));
    EXPECT_TRUE(messenger.Entries().empty());  // file errors are silent
}

TEST(SettingsFile, WriteFailingMidwayKeepsThePreviousFile) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.dataFileName = dir.File("full.chs");
    ASSERT_TRUE(s.SaveSettings(messenger));

    // A file size limit that the names file fits but the settings file does not (a huge prior
    // variance prints some two hundred digits) fails the write midway, as a full disk would.
    s.priorVariance = 1e200;
    ASSERT_LT(dir.File("full.chs").size(), 150u);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = static_cast<rlim_t>(dir.File("full.chs").size() + 1);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = s.SaveSettings(messenger);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFileText(dir.File("full.set")), kDefaultChsFile);
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"full.set", "names.pellik"}));
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsFile, ReplacementKeepsPermissionsAndSymbolicLinks) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.dataFileName = dir.File("p.chs");
    ASSERT_TRUE(s.SaveSettings(messenger));
    fs::permissions(dir.File("p.set"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(dir.File("real"));
    WriteFileText(dir.File("real/names.pellik"), "old");
    fs::remove(dir.File("names.pellik"));
    fs::create_symlink(dir.File("real/names.pellik"), dir.File("names.pellik"));

    s.randomSeed = 12;
    ASSERT_TRUE(s.SaveSettings(messenger));
    EXPECT_EQ(fs::status(dir.File("p.set")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFileText(dir.File("p.set")), "2000\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n12\n");
    EXPECT_TRUE(fs::is_symlink(dir.File("names.pellik")));
    EXPECT_EQ(ReadFileText(dir.File("real/names.pellik")), dir.File("p.chs"));
}

TEST(SettingsLoad, NoNamesFileGivesDefaults) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings s = InFolder(dir);
    s.LoadSettings(messenger);
    ExpectDefaults(s);
    EXPECT_TRUE(messenger.Entries().empty());

    // Without a names file the name already in the record is loaded.
    WriteFileText(dir.File("pre.set"), "1\n2\n3\n4\n1\n 6.00\n0\n7\n 8.00\n0\n9\n");
    s.dataFileName = dir.File("pre.chs");
    s.LoadSettings(messenger);
    EXPECT_EQ(s.drawSkip, 3);
    EXPECT_EQ(s.randomSeed, 9);
}

TEST(SettingsLoad, UpperCaseChoicePathWithBlanks) {
    TempDir dir;
    ScriptedMessenger messenger;
    std::string data = dir.File("My Study.CHO");
    WriteFileText(dir.File("names.pellik"), "  " + data + " \t\r\nignored second line\n");
    WriteFileText(dir.File("My Study.set"), "1500\n800\n5\n50\n1\n 1.00\n0\n6\n 3.50\n0\n77\n");
    StudySettings s = InFolder(dir);
    s.LoadSettings(messenger);
    EXPECT_EQ(s.dataFileName, data);
    EXPECT_TRUE(s.IsChoiceData());
    EXPECT_EQ(s.preliminaryIterations, 1500);
    EXPECT_EQ(s.drawsPerRespondent, 800);
    EXPECT_EQ(s.drawSkip, 5);
    EXPECT_EQ(s.logSkip, 50);
    EXPECT_TRUE(s.saveDraws);
    EXPECT_EQ(s.totalTaskWeight, 1.0);
    EXPECT_FALSE(s.smartStart);
    EXPECT_EQ(s.priorDegreesOfFreedom, 6);
    EXPECT_EQ(s.priorVariance, 3.5);
    EXPECT_FALSE(s.effectsCoding);
    EXPECT_EQ(s.randomSeed, 77);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsLoad, WrongExtensionShowsMessageAndResets) {
    TempDir dir;
    ScriptedMessenger messenger;
    WriteFileText(dir.File("names.pellik"), dir.File("study.txt"));
    StudySettings s = NonDefaultValues("");
    s.namesFolder = dir.Path().string();
    s.LoadSettings(messenger);
    ExpectDefaults(s);
    EXPECT_EQ(s.namesFolder, dir.Path().string());  // where the names file lies is kept
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kInvalidFilename);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);

    // A NUL byte inside the line would cut the path short on its way to the file system.
    messenger.Clear();
    WriteFileText(dir.File("names.pellik"), std::string("/tmp/a\0b.chs", 12));
    s = NonDefaultValues("");
    s.LoadSettings(messenger);
    ExpectDefaults(s);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kInvalidFilename});

    messenger.Clear();
    StudySettings picked;
    picked.LoadSettingsForDataFile(" data.xls ", messenger);
    ExpectDefaults(picked);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kInvalidFilename});
}

// Each integer line, the switches included, refuses 2^31, 2^32 + 1 and twenty digits: the message
// names the settings file and the number, the eleven settings go back to their defaults and the data
// file name stays. The ends of the 32-bit range load as they always did.
TEST(SettingsLoad, AnIntegerBeyond32BitsIsShownAndTheSettingsReset) {
    TempDir dir;
    ScriptedMessenger messenger;
    const std::string data = dir.File("s.chs");
    const std::string lines[11] = {"2000", "1000", "10", "100", "0", " 5.00", "1", "5", " 2.00", "1", "0"};
    for (size_t line : {0, 1, 2, 3, 4, 6, 7, 9, 10}) {
        for (const std::string number : {"2147483648", "4294967297", "-10000000000000000000"}) {
            std::string text;
            for (size_t i = 0; i < 11; ++i) text += (i == line ? number : lines[i]) + "\n";
            WriteFileText(dir.File("s.set"), text);
            messenger.Clear();
            StudySettings settings;
            settings.drawSkip = 7;
            EXPECT_FALSE(settings.LoadSettingsForDataFile(data, messenger)) << line;
            EXPECT_EQ(messenger.Texts(),
                      std::vector<std::string>{"The number " + number + " in " + dir.File("s.set") +
                                               " does not fit a 32-bit integer "
                                               "(-2147483648 to 2147483647)."});
            StudySettings defaults;
            defaults.dataFileName = data;
            ExpectSameValues(defaults, settings);
        }
    }
    messenger.Clear();
    WriteFileText(dir.File("s.set"), "2147483647\n-2147483648\n10\n100\n-2147483648\n");
    StudySettings edges;
    EXPECT_TRUE(edges.LoadSettingsForDataFile(data, messenger));
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_EQ(edges.preliminaryIterations, INT32_MAX);
    EXPECT_EQ(edges.drawsPerRespondent, INT32_MIN);
    EXPECT_TRUE(edges.saveDraws);
}

TEST(SettingsLoad, ShortDamagedAndLongFiles) {
    TempDir dir;
    ScriptedMessenger messenger;
    std::string data = dir.File("s.chs");

    WriteFileText(dir.File("s.set"), "100\n200\n2\n20\n1\n 3.00\n");
    StudySettings six;
    six.LoadSettingsForDataFile(data, messenger);
    EXPECT_EQ(six.preliminaryIterations, 100);
    EXPECT_EQ(six.totalTaskWeight, 3.0);
    EXPECT_FALSE(six.smartStart);
    EXPECT_EQ(six.priorDegreesOfFreedom, 0);
    EXPECT_EQ(six.priorVariance, 0.0);
    EXPECT_FALSE(six.effectsCoding);
    EXPECT_EQ(six.randomSeed, 0);
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_FALSE(six.ValidateAdvancedSettings(messenger));
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{
                                     "'Prior degrees of freedom' must be an integer between 2 and 100000."});

    // CR LF reads as LF; text that is no number reads as 0; lines after the eleventh are ignored.
    messenger.Clear();
    WriteFileText(dir.File("s.set"),
                  "2000\r\n1000\r\nten\r\n100\r\n0\r\n 5.00\r\n1\r\n5\r\n 2.00\r\n1\r\n42\r\n999\r\n");
    StudySettings crlf;
    crlf.LoadSettingsForDataFile(data, messenger);
    StudySettings expected;
    expected.dataFileName = data;
    expected.drawSkip = 0;
    expected.randomSeed = 42;
    ExpectSameValues(expected, crlf);

    // An enormous line is read past, not kept; the next lines still count.
    WriteFileText(dir.File("s.set"), "7" + std::string(100000, '0') + "\n3\n");
    StudySettings longLine;
    EXPECT_FALSE(longLine.LoadSettingsForDataFile(data, messenger));
    EXPECT_EQ(messenger.Texts(),
              std::vector<std::string>{"The number 7" + std::string(39, '0') + "... in " + dir.File("s.set") +
                                       " does not fit a 32-bit integer (-2147483648 to "
                                       "2147483647)."});
    StudySettings defaults;
    defaults.dataFileName = data;
    ExpectSameValues(defaults, longLine);  // the data file name stays for the window
    messenger.Clear();
    WriteFileText(dir.File("s.set"), " 7 \n" + std::string(100000, ' ') + "3\n");
    EXPECT_TRUE(longLine.LoadSettingsForDataFile(data, messenger));
    EXPECT_EQ(longLine.preliminaryIterations, 7);
    EXPECT_EQ(longLine.drawsPerRespondent, 0);  // the line is cut before its number

    // An empty file: every line missing.
    WriteFileText(dir.File("s.set"), "");
    StudySettings empty;
    empty.LoadSettingsForDataFile(data, messenger);
    EXPECT_EQ(empty.preliminaryIterations, 0);
    EXPECT_EQ(empty.totalTaskWeight, 0.0);
    EXPECT_FALSE(empty.smartStart);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsLoad, MissingSettingsFileKeepsValuesAndEmptyNameStops) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings fresh;
    fresh.LoadSettingsForDataFile(dir.File("new.chs"), messenger);
    EXPECT_EQ(fresh.dataFileName, dir.File("new.chs"));
    EXPECT_EQ(fresh.preliminaryIterations, 2000);

    StudySettings edited = NonDefaultValues("");
    edited.LoadSettingsForDataFile(dir.File("new.chs"), messenger);
    ExpectSameValues(NonDefaultValues(dir.File("new.chs")), edited);

    // An empty names file: empty name, the other values stay.
    WriteFileText(dir.File("names.pellik"), " \r\n");
    StudySettings s = NonDefaultValues(dir.File("x.chs"));
    s.namesFolder = dir.Path().string();
    s.LoadSettings(messenger);
    ExpectSameValues(NonDefaultValues(""), s);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsLoad, FilesThatCannotBeReadResetSilently) {
    TempDir dir;
    ScriptedMessenger messenger;

    // A folder named like the names file.
    fs::create_directory(dir.File("names.pellik"));
    StudySettings s = NonDefaultValues(dir.File("a.chs"));
    s.namesFolder = dir.Path().string();
    s.LoadSettings(messenger);
    ExpectDefaults(s);
    fs::remove(dir.File("names.pellik"));

    // A folder named like the settings file.
    fs::create_directory(dir.File("a.set"));
    StudySettings t = NonDefaultValues("");
    t.LoadSettingsForDataFile(dir.File("a.chs"), messenger);
    ExpectDefaults(t);

    // A first line far longer than any path.
    WriteFileText(dir.File("names.pellik"), std::string(70000, 'x') + ".chs");
    StudySettings u = NonDefaultValues("");
    u.namesFolder = dir.Path().string();
    u.LoadSettings(messenger);
    ExpectDefaults(u);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsLoad, NamesFileInTheCurrentDirectoryByDefault) {
    TempDir dir;
    fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    ScriptedMessenger messenger;
    StudySettings saved;
    saved.dataFileName = "rel.chs";
    saved.logSkip = 9;
    bool ok = saved.SaveSettings(messenger);
    StudySettings loaded;
    loaded.LoadSettings(messenger);
    fs::current_path(previous);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadFileText(dir.File("names.pellik")), "rel.chs");
    EXPECT_EQ(loaded.dataFileName, "rel.chs");
    EXPECT_EQ(loaded.logSkip, 9);
}

// Runs one validation on a valid record after a change; returns the texts shown.
std::vector<std::string> MainMessages(const std::function<void(StudySettings&)>& change, bool& passed) {
    StudySettings s;
    s.dataFileName = "/d/study.chs";
    change(s);
    ScriptedMessenger messenger;
    passed = s.ValidateMainSettings(messenger);
    for (const auto& entry : messenger.Entries()) EXPECT_EQ(entry.icon, MessageIcon::Information);
    return messenger.Texts();
}

std::vector<std::string> AdvancedMessages(const std::function<void(StudySettings&)>& change, bool& passed) {
    StudySettings s;
    change(s);
    ScriptedMessenger messenger;
    passed = s.ValidateAdvancedSettings(messenger);
    for (const auto& entry : messenger.Entries()) EXPECT_EQ(entry.icon, MessageIcon::Information);
    return messenger.Texts();
}

void ExpectBounds(bool advanced, const std::string& message,
                  const std::vector<std::pair<std::function<void(StudySettings&)>, bool>>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
        bool passed = false;
        std::vector<std::string> texts =
            advanced ? AdvancedMessages(cases[i].first, passed) : MainMessages(cases[i].first, passed);
        EXPECT_EQ(passed, cases[i].second) << message << " case " << i;
        EXPECT_EQ(texts, cases[i].second ? std::vector<std::string>{} : std::vector<std::string>{message})
            << "case " << i;
    }
}

TEST(SettingsValidation, MainChecksTheirBoundsInclusively) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ExpectBounds(false, "An invalid data file was specified.",
                 {{[](StudySettings& s) { s.dataFileName = "/d/S.CHO"; }, true},
                  {[](StudySettings& s) { s.dataFileName = "/d/s.chs "; }, false},  // not trimmed
                  {[](StudySettings& s) { s.dataFileName = ""; }, false},
                  {[](StudySettings& s) { s.dataFileName = "/d/s.att"; }, false}});
    ExpectBounds(false,
                 "'Number of iterations before using results' must be an integer between 0 and 1000000.",
                 {{[](StudySettings& s) { s.preliminaryIterations = 0; }, true},
                  {[](StudySettings& s) { s.preliminaryIterations = 1000000; }, true},
                  {[](StudySettings& s) { s.preliminaryIterations = -1; }, false},
                  {[](StudySettings& s) { s.preliminaryIterations = 1000001; }, false}});
    ExpectBounds(false,
                 "'Number of draws to be used for each respondent' must be an integer between 1 and 10000.",
                 {{[](StudySettings& s) { s.drawsPerRespondent = 1; }, true},
                  {[](StudySettings& s) { s.drawsPerRespondent = 10000; }, true},
                  {[](StudySettings& s) { s.drawsPerRespondent = 0; }, false},
                  {[](StudySettings& s) { s.drawsPerRespondent = 10001; }, false}});
    ExpectBounds(false, "'Skip factor for using draws' must be an integer between 1 and 100.",
                 {{[](StudySettings& s) { s.drawSkip = 1; }, true},
                  {[](StudySettings& s) { s.drawSkip = 100; }, true},
                  {[](StudySettings& s) { s.drawSkip = 0; }, false},
                  {[](StudySettings& s) { s.drawSkip = 101; }, false}});
    ExpectBounds(false, "'Skip factor for printing in log file' must be an integer between 1 and 100000.",
                 {{[](StudySettings& s) { s.logSkip = 1; }, true},
                  {[](StudySettings& s) { s.logSkip = 100000; }, true},
                  {[](StudySettings& s) { s.logSkip = 0; }, false},
                  {[](StudySettings& s) { s.logSkip = 100001; }, false}});
    ExpectBounds(false, "'Total task weight' must be a number between 1.0 and 10.0.",
                 {{[](StudySettings& s) { s.totalTaskWeight = 1.0; }, true},
                  {[](StudySettings& s) { s.totalTaskWeight = 10.0; }, true},
                  {[](StudySettings& s) { s.totalTaskWeight = 0.99; }, false},
                  {[](StudySettings& s) { s.totalTaskWeight = 10.01; }, false},
                  {[nan](StudySettings& s) { s.totalTaskWeight = nan; }, false}});
}

TEST(SettingsValidation, MainReportsOnlyTheFirstFailureInOrder) {
    StudySettings s;
    s.dataFileName = "bad";
    s.preliminaryIterations = -5;
    s.drawsPerRespondent = 0;
    s.drawSkip = 0;
    s.logSkip = 0;
    s.totalTaskWeight = 0.0;
    std::vector<std::string> order;
    std::vector<std::function<void()>> fixes = {[&] { s.dataFileName = "ok.cho"; },
                                                [&] { s.preliminaryIterations = 10; },
                                                [&] { s.drawsPerRespondent = 10; },
                                                [&] { s.drawSkip = 10; },
                                                [&] { s.logSkip = 10; },
                                                [&] { s.totalTaskWeight = 1.0; }};
    for (const auto& fix : fixes) {
        ScriptedMessenger messenger;
        EXPECT_FALSE(s.ValidateMainSettings(messenger));
        ASSERT_EQ(messenger.Entries().size(), 1u);
        order.push_back(messenger.Entries()[0].text);
        fix();
    }
    ScriptedMessenger messenger;
    EXPECT_TRUE(s.ValidateMainSettings(messenger));
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_EQ(order,
              (std::vector<std::string>{
                  "An invalid data file was specified.",
                  "'Number of iterations before using results' must be an integer between 0 and 1000000.",
                  "'Number of draws to be used for each respondent' must be an integer between 1 and 10000.",
                  "'Skip factor for using draws' must be an integer between 1 and 100.",
                  "'Skip factor for printing in log file' must be an integer between 1 and 100000.",
                  "'Total task weight' must be a number between 1.0 and 10.0."}));
}

TEST(SettingsValidation, AdvancedChecksTheirBoundsInOrder) {
    const double typedTenth = LeadingDouble("0.1");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ExpectBounds(true, "'Prior degrees of freedom' must be an integer between 2 and 100000.",
                 {{[](StudySettings& s) { s.priorDegreesOfFreedom = 2; }, true},
                  {[](StudySettings& s) { s.priorDegreesOfFreedom = 100000; }, true},
                  {[](StudySettings& s) { s.priorDegreesOfFreedom = 1; }, false},
                  {[](StudySettings& s) { s.priorDegreesOfFreedom = 100001; }, false}});
    ExpectBounds(true, "'Prior variance' must be a number between 0.1 and 100.0.",
                 {{[typedTenth](StudySettings& s) { s.priorVariance = typedTenth; }, true},
                  {[](StudySettings& s) { s.priorVariance = 100.0; }, true},
                  {[](StudySettings& s) { s.priorVariance = LeadingDouble("0.09"); }, false},
                  {[](StudySettings& s) { s.priorVariance = 100.001; }, false},
                  {[nan](StudySettings& s) { s.priorVariance = nan; }, false}});
    ExpectBounds(true, "'Random starting seed' must be an integer between 0 and 32000.",
                 {{[](StudySettings& s) { s.randomSeed = 0; }, true},
                  {[](StudySettings& s) { s.randomSeed = 32000; }, true},
                  {[](StudySettings& s) { s.randomSeed = -1; }, false},
                  {[](StudySettings& s) { s.randomSeed = 32001; }, false}});
    ExpectBounds(true, "'Use smart starting betas' cannot be used with 'Use dummy coding'.",
                 {{[](StudySettings& s) {
                       s.smartStart = true;
                       s.effectsCoding = false;
                   },
                   false},
                  {[](StudySettings& s) {
                       s.smartStart = false;
                       s.effectsCoding = false;
                   },
                   true},
                  {[](StudySettings& s) {
                       s.smartStart = false;
                       s.effectsCoding = true;
                   },
                   true}});

    // Order: every check failing shows the first one only, then the next once it is fixed.
    bool passed = true;
    auto texts = AdvancedMessages(
        [](StudySettings& s) {
            s.priorDegreesOfFreedom = 0;
            s.priorVariance = 0.0;
            s.randomSeed = -1;
            s.effectsCoding = false;
        },
        passed);
    EXPECT_FALSE(passed);
    EXPECT_EQ(texts, std::vector<std::string>{
                         "'Prior degrees of freedom' must be an integer between 2 and 100000."});
    texts = AdvancedMessages(
        [](StudySettings& s) {
            s.priorVariance = 0.0;
            s.randomSeed = -1;
            s.effectsCoding = false;
        },
        passed);
    EXPECT_EQ(texts, std::vector<std::string>{"'Prior variance' must be a number between 0.1 and 100.0."});
    texts = AdvancedMessages(
        [](StudySettings& s) {
            s.randomSeed = -1;
            s.effectsCoding = false;
        },
        passed);
    EXPECT_EQ(texts,
              std::vector<std::string>{"'Random starting seed' must be an integer between 0 and 32000."});
}

}  // namespace
}  // namespace ombrel
