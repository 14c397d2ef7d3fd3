// LoadSettings and SaveSettings on a real VEDO.INI in a temporary config folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/app_state.h"
#include "engine/handler_error.h"
#include "engine/job_fields.h"
#include "platform/profile_file.h"
#include "settings/settings.h"
#include "tests/support/temp_folder.h"

using namespace vedo;
using vedo::test::sj;
using vedo::test::TempFolder;

namespace {

namespace fs = std::filesystem;

class Settings : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadXdg_ = old != nullptr;
    if (old) oldXdg_ = old;
    // The folder itself does not exist yet, as on a first start.
    ::setenv("XDG_CONFIG_HOME", dir_.str("config").c_str(), 1);
  }
  void TearDown() override {
    hadXdg_ ? ::setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  }

  void writeIni(const std::string& bytes) { dir_.write("config/VEDO.INI", bytes); }
  std::string iniText() const { return dir_.read("config/VEDO.INI"); }
  std::optional<std::string> stored(const char* section, const char* key) const {
    ProfileFile ini(SettingsFilePath());
    EXPECT_TRUE(ini.load());
    return ini.readString(section, key);
  }

  MainWindowValues load(bool withArguments = false) {
    state_.StartedWithArguments = withArguments;
    return LoadSettings(state_, fields_);
  }
  void save(bool withArguments = false, int left = 10, int top = 20) {
    state_.StartedWithArguments = withArguments;
    SaveSettings(state_, fields_, left, top);
  }
  void setFields(const std::string& source, const std::string& target) {
    fields_.setSource(source);
    fields_.setTarget(target);
  }

  TempFolder dir_;
  AppState state_;
  PlainJobFields fields_;

 private:
  bool hadXdg_ = false;
  std::string oldXdg_;
};

// A file with every key set away from its default.
const char* const kFullFile =
    "[Options]\n"
    "Pos(X)=120\n"
    "Pos(Y)=80\n"
    "Delete=1\n"
    "Batch=1\n"
    "BatName=/home/u/jobs.vdb\n"
    "[Files]\n"
    "T_Path=/home/u/src/\n"
    "L_Path=/home/u/arc/\n"
    "[Message]\n"
    "Visible=0\n"
    "Dialogs=0\n"
    "Mode=3\n"
    "[UNLHA]\n"
    "Option=-m7\n"
    "Dialogs=0\n";

TEST_F(Settings, FileLivesInTheConfigFolder) {
  EXPECT_EQ(SettingsFilePath(), dir_.str("config/VEDO.INI"));
}

TEST_F(Settings, FirstStartWithoutAFileGivesTheDefaults) {
  // Start from the opposite of every default, so a value left alone shows.
  state_.ShowBatchProgress = false;
  state_.BatchConfirm = false;
  state_.DeleteMode = 2;
  state_.UnlhaOption = "-x";
  state_.UnlhaDialogs = false;
  state_.JobDialogs = false;

  const MainWindowValues window = load();
  EXPECT_EQ(window.left, -1);
  EXPECT_EQ(window.top, -1);
  EXPECT_EQ(window.sourceFolder, "");
  EXPECT_EQ(window.archiveFolder, "");
  EXPECT_FALSE(fields_.DeleteAfter());
  EXPECT_FALSE(fields_.UseBatch());
  EXPECT_EQ(fields_.BatchFileName(), "");
  EXPECT_TRUE(state_.ShowBatchProgress);
  EXPECT_TRUE(state_.BatchConfirm);
  EXPECT_EQ(state_.DeleteMode, 0);
  EXPECT_EQ(state_.UnlhaOption, "");
  EXPECT_TRUE(state_.UnlhaDialogs);
  EXPECT_TRUE(state_.JobDialogs);
  EXPECT_FALSE(fs::exists(dir_.path() / "config"));  // reading creates nothing
}

TEST_F(Settings, ReadsEveryKeyWithoutArguments) {
  writeIni(kFullFile);
  const MainWindowValues window = load();
  EXPECT_EQ(window.left, 120);
  EXPECT_EQ(window.top, 80);
  EXPECT_EQ(window.sourceFolder, "/home/u/src/");
  EXPECT_EQ(window.archiveFolder, "/home/u/arc/");
  EXPECT_TRUE(fields_.DeleteAfter());
  EXPECT_TRUE(fields_.UseBatch());
  EXPECT_EQ(fields_.BatchFileName(), "/home/u/jobs.vdb");
  EXPECT_FALSE(state_.ShowBatchProgress);
  EXPECT_FALSE(state_.BatchConfirm);
  EXPECT_EQ(state_.DeleteMode, 3);
  EXPECT_EQ(state_.UnlhaOption, "-m7");
  EXPECT_FALSE(state_.UnlhaDialogs);
  EXPECT_FALSE(state_.JobDialogs);  // follows UnlhaDialogs
}

TEST_F(Settings, AFalseFlagLeavesTheBoxesAsTheyAre) {
  writeIni("[Options]\nDelete=0\nBatch=0\n");
  fields_.setDeleteAfter(true);
  fields_.setUseBatch(true);
  load();
  EXPECT_TRUE(fields_.DeleteAfter());
  EXPECT_TRUE(fields_.UseBatch());
}

TEST_F(Settings, WithArgumentsTheBoxesBatchFileAndFoldersAreNotTaken) {
  writeIni(kFullFile);
  fields_.setBatchFileName("from the command line");
  const MainWindowValues window = load(/*withArguments=*/true);
  EXPECT_FALSE(fields_.DeleteAfter());
  EXPECT_FALSE(fields_.UseBatch());
  EXPECT_EQ(fields_.BatchFileName(), "from the command line");
  EXPECT_EQ(window.sourceFolder, "");
  EXPECT_EQ(window.archiveFolder, "");
  // Everything else is read as usual.
  EXPECT_EQ(window.left, 120);
  EXPECT_EQ(window.top, 80);
  EXPECT_EQ(state_.DeleteMode, 3);
  EXPECT_EQ(state_.UnlhaOption, "-m7");
  EXPECT_FALSE(state_.JobDialogs);
}

struct NumberCase {
  const char* stored;  // text after "Mode=" and "Pos(X)="
  int mode;            // default 0
  int left;            // default -1
};

class SettingsNumber : public Settings, public testing::WithParamInterface<NumberCase> {};

TEST_P(SettingsNumber, ReadAsTheEncodingSays) {
  writeIni(std::string("[Message]\nMode=") + GetParam().stored + "\n[Options]\nPos(X)=" +
           GetParam().stored + "\n");
  const MainWindowValues window = load();
  EXPECT_EQ(state_.DeleteMode, GetParam().mode) << GetParam().stored;
  EXPECT_EQ(window.left, GetParam().left) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsNumber,
    testing::Values(NumberCase{"0x3", 3, 3}, NumberCase{"0X3", 3, 3}, NumberCase{"$3", 3, 3},
                    NumberCase{" +3", 3, 3}, NumberCase{"\" +3\"", 3, 3},  // blank kept by quotes
                    NumberCase{"-7", -7, -7}, NumberCase{"0", 0, 0},
                    NumberCase{"3abc", 0, -1}, NumberCase{"0x", 0, -1}, NumberCase{"", 0, -1},
                    NumberCase{"\"\"", 0, -1}, NumberCase{"$", 0, -1},
                    NumberCase{"0x100000000", 0, -1}, NumberCase{"4294967296", 0, -1},
                    NumberCase{"$FFFFFFFF", -1, -1}, NumberCase{"0x10", 16, 16}));

TEST_F(Settings, FlagsAreTrueForAnyNonzeroValue) {
  writeIni(
      "[Message]\nVisible=2\nDialogs=0x0\n"
      "[UNLHA]\nDialogs=junk\n"
      "[Options]\nDelete=-1\nBatch=$0\n");
  state_.UnlhaDialogs = false;
  load();
  EXPECT_TRUE(state_.ShowBatchProgress);
  EXPECT_FALSE(state_.BatchConfirm);
  EXPECT_TRUE(state_.UnlhaDialogs);  // unparsable: the default
  EXPECT_TRUE(fields_.DeleteAfter());
  EXPECT_FALSE(fields_.UseBatch());
}

TEST_F(Settings, StringsLoseBlanksAndOnePairOfQuotes) {
  writeIni(
      "[Options]\nBatName =   \"  my jobs.vdb  \"  \n"
      "[UNLHA]\nOption=   -m7 -r\t\n");
  load();
  EXPECT_EQ(fields_.BatchFileName(), "  my jobs.vdb  ");
  EXPECT_EQ(state_.UnlhaOption, "-m7 -r");
}

TEST_F(Settings, KeysAndSectionsInOtherCasesAreFound) {
  writeIni(
      "[options]\npos(x)=10\nPOS(Y)=20\nbatname=b.vdb\n"
      "[FILES]\nt_path=/t/\n"
      "[message]\nMODE=2\nvisible=0\n"
      "[Unlha]\noption=-r\n");
  const MainWindowValues window = load();
  EXPECT_EQ(window.left, 10);
  EXPECT_EQ(window.top, 20);
  EXPECT_EQ(fields_.BatchFileName(), "b.vdb");
  EXPECT_EQ(window.sourceFolder, "/t/");
  EXPECT_EQ(state_.DeleteMode, 2);
  EXPECT_FALSE(state_.ShowBatchProgress);
  EXPECT_EQ(state_.UnlhaOption, "-r");
}

TEST_F(Settings, SaveThenLoadGivesTheSameValues) {
  state_.ShowBatchProgress = false;
  state_.BatchConfirm = false;
  state_.DeleteMode = 3;
  state_.UnlhaOption = sj("-m7 表");
  state_.UnlhaDialogs = false;
  state_.JobDialogs = true;  // never stored
  fields_.setDeleteAfter(true);
  fields_.setUseBatch(true);
  fields_.setBatchFileName(sj("/home/u/ジョブ.vdb"));
  setFields("/home/u/src/*.txt", "/home/u/arc/out.lzh");
  save(false, -5, 300);  // creates the missing config folder

  EXPECT_EQ(stored("UNLHA", "Dialogs"), "0");
  EXPECT_EQ(stored("Options", "Pos(X)"), "-5");
  EXPECT_EQ(iniText().find("JobDialogs"), std::string::npos);

  AppState state;
  PlainJobFields fields;
  const MainWindowValues window = LoadSettings(state, fields);
  EXPECT_EQ(window.left, -5);
  EXPECT_EQ(window.top, 300);
  EXPECT_EQ(window.sourceFolder, "/home/u/src/");
  EXPECT_EQ(window.archiveFolder, "/home/u/arc/");
  EXPECT_TRUE(fields.DeleteAfter());
  EXPECT_TRUE(fields.UseBatch());
  EXPECT_EQ(fields.BatchFileName(), sj("/home/u/ジョブ.vdb"));
  EXPECT_FALSE(state.ShowBatchProgress);
  EXPECT_FALSE(state.BatchConfirm);
  EXPECT_EQ(state.DeleteMode, 3);
  EXPECT_EQ(state.UnlhaOption, sj("-m7 表"));
  EXPECT_FALSE(state.UnlhaDialogs);
  EXPECT_FALSE(state.JobDialogs);
}

TEST_F(Settings, SaveKeepsForeignSectionsKeysAndComments) {
  writeIni(
      "; written by hand\n"
      "\n"
      "[Options]\n"
      "; where the window was\n"
      "Pos(X)=1\n"
      "Colour=blue\n"
      "[Elsewhere]\n"
      "Name=" + sj("表示") + "\n");
  save();
  const std::string text = iniText();
  for (const std::string& line : {std::string("; written by hand"), std::string("; where the window was"),
                                 std::string("Colour=blue"), std::string("[Elsewhere]"),
                                 "Name=" + sj("表示"), std::string("Pos(X)=10")}) {
    EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " missing from:\n" << text;
  }
}

TEST_F(Settings, WithArgumentsOnlyDeleteOfTheBoxesAndFoldersIsWritten) {
  writeIni(kFullFile);
  fields_.setDeleteAfter(false);  // the run did not end with "delete"
  fields_.setUseBatch(true);
  fields_.setBatchFileName("/tmp/run.vdb");
  setFields("/new/src/a.txt", "/new/arc/a.lzh");
  state_.DeleteMode = 1;
  save(/*withArguments=*/true, 7, 8);

  EXPECT_EQ(stored("Options", "Delete"), "0");  // a stored 1 is replaced
  EXPECT_EQ(stored("Options", "Batch"), "1");
  EXPECT_EQ(stored("Options", "BatName"), "/home/u/jobs.vdb");
  EXPECT_EQ(stored("Files", "T_Path"), "/home/u/src/");
  EXPECT_EQ(stored("Files", "L_Path"), "/home/u/arc/");
  EXPECT_EQ(stored("Options", "Pos(X)"), "7");
  EXPECT_EQ(stored("Message", "Mode"), "1");

  fields_.setDeleteAfter(true);
  save(/*withArguments=*/true);
  EXPECT_EQ(stored("Options", "Delete"), "1");
}

TEST_F(Settings, WithArgumentsAndNoFileTheBatchKeysStayAbsent) {
  fields_.setUseBatch(true);
  setFields("/new/src/a.txt", "/new/arc/a.lzh");
  save(/*withArguments=*/true);
  EXPECT_EQ(stored("Options", "Delete"), "0");
  EXPECT_EQ(stored("Options", "Batch"), std::nullopt);
  EXPECT_EQ(stored("Options", "BatName"), std::nullopt);
  EXPECT_EQ(stored("Files", "T_Path"), std::nullopt);
  EXPECT_EQ(stored("Files", "L_Path"), std::nullopt);
}

TEST_F(Settings, FoldersAreWrittenOnlyFromFieldsWorthRemembering) {
  struct Case {
    const char* name;
    std::string source, target;
    std::string tPath, lPath;  // expected afterwards; the file starts with /old/t/ and /old/l/
  } cases[] = {
      {"empty source keeps T_Path", "", "/a/b.lzh", "/old/t/", "/a/"},
      {"initial archive text keeps L_Path", "/s/x.txt", ".LZH", "/s/", "/old/l/"},
      {"only exactly .LZH keeps it", "/s/x.txt", ".lzh", "/s/", ""},
      {"no folder part writes an empty folder", "x.txt", "x.lzh", "", ""},
      {"backslashes separate too", "C:\\w\\x.txt", "d\\e\\x.lzh", "C:\\w\\", "d\\e\\"},
      // 0x5C as the second byte of a character is no separator.
      {"double-byte characters", "/s/" + sj("表") + ".txt", sj("ソ\\ボ") + ".lzh", "/s/",
       sj("ソ\\")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeIni("[Files]\nT_Path=/old/t/\nL_Path=/old/l/\n");
    setFields(c.source, c.target);
    save();
    EXPECT_EQ(stored("Files", "T_Path"), c.tPath);
    EXPECT_EQ(stored("Files", "L_Path"), c.lPath);
  }
}

TEST_F(Settings, ARefusedWriteThrowsTheTextAndChangesNothing) {
  const std::string expected = sj("VEDO.INI に書き込めません.");
  // A folder in the place of VEDO.INI.
  dir_.write("config/VEDO.INI/inside", "keep");
  try {
    save();
    FAIL() << "no error";
  } catch (const HandlerError& e) {
    EXPECT_EQ(e.text(), expected);
  }
  EXPECT_TRUE(fs::is_directory(dir_.path() / "config/VEDO.INI"));
  EXPECT_EQ(dir_.read("config/VEDO.INI/inside"), "keep");
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir_.path() / "config")) ++entries;
  EXPECT_EQ(entries, 1);  // no temporary file left behind

  // A read-only VEDO.INI: the whole save is refused, not just the rest of it.
  fs::remove_all(dir_.path() / "config/VEDO.INI");
  writeIni(kFullFile);
  fs::permissions(dir_.path() / "config/VEDO.INI", fs::perms::owner_read);
  EXPECT_THROW(save(), HandlerError);
  EXPECT_EQ(iniText(), kFullFile);

  // Reading still works and gives the file's values.
  EXPECT_EQ(load().left, 120);
}

TEST_F(Settings, MalformedFilesGiveDefaultsWhereValuesAreMissing) {
  struct Case {
    const char* name;
    std::string bytes;
    int mode;  // [Message] Mode as read
  } cases[] = {
      {"binary junk", std::string("\x01\xff\x00\x82[Message]\x00Mode=3", 20), 0},
      {"no sections", "Mode=3\nVisible=0\n", 0},
      {"1 MB line", "[Message]\nJunk=" + std::string(1 << 20, '#') + "\nMode=3\n", 3},
      {"BOM and CRLF", "\xEF\xBB\xBF[Message]\r\nMode=3\r\n", 3},
      {"bad CP932", "[Message]\r\nMode=3\x82\r\n[UNLHA]\nOption=\x82\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeIni(c.bytes);
    AppState state;
    state.DeleteMode = 99;
    PlainJobFields fields;
    const MainWindowValues window = LoadSettings(state, fields);
    EXPECT_EQ(state.DeleteMode, c.mode);
    EXPECT_EQ(window.left, -1);
    EXPECT_TRUE(state.ShowBatchProgress);
    EXPECT_TRUE(state.UnlhaDialogs);
  }
}

}  // namespace
