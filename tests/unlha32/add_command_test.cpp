// The command "a" through the library's C entry: what an archive ends up
// holding, and that every failure leaves the old archive exactly as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/file.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/temp_folder.h"
#include "tests/unlha32/unlha_test_support.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/commands/add_command.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/include/unlha32_entries.h"

namespace unlha::test {
namespace {

using vedo::test::TempFolder;
namespace fs = std::filesystem;

class AddCommand : public ::testing::Test {
 protected:
  std::string arc() const { return dir.str("arc.lzh"); }
  Outcome add(const std::string& switches, const std::string& sources) const {
    return unlha("a -n " + switches + " \"" + arc() + "\"  " + sources);
  }
  std::string q(const std::string& rel) const { return "\"" + dir.str(rel) + "\""; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const MemberInfo& m : readMembers(arc())) out.push_back(*vedo::cp932::toUtf8(m.path));
    return out;
  }
  std::string member(const std::string& name) const {
    return shell("bsdtar --options hdrcharset=CP932 -xOf '" + arc() + "' '" + name + "'").output;
  }
  // Files in the archive's folder whose names mark them as temporary files.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      if (name.ends_with(".tmp") || name.starts_with(".vedo")) out.push_back(name);
    }
    return out;
  }

  TempFolder dir;
};

TEST_F(AddCommand, UpdateReplacesTheSameNamedMemberInPlaceAndKeepsTheOthers) {
  dir.write("a.txt", "first a");
  dir.write("b.txt", "first b");
  ASSERT_EQ(add("", q("*.txt")).code, 0);
  dir.write("a.txt", "second a, longer than the first");
  dir.write("c.txt", "c");
  const Outcome r = add("-m7", q("a.txt") + " " + q("c.txt"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(member("a.txt"), "second a, longer than the first");
  EXPECT_EQ(member("b.txt"), "first b");
  EXPECT_EQ(member("c.txt"), "c");
}

TEST_F(AddCommand, ExistingMembersAreCopiedAsTheyAre) {
  dir.write("x.txt", std::string(50000, 'x') + "tail");
  ASSERT_EQ(add("-m6", q("x.txt")).code, 0);
  const std::string before = readFile(arc());
  dir.write("y.txt", "y");
  ASSERT_EQ(add("-m0", q("y.txt")).code, 0);
  const std::string after = readFile(arc());
  // The old archive without its end mark is where the new one starts.
  ASSERT_GT(after.size(), before.size());
  EXPECT_TRUE(after.compare(0, before.size() - 1, before, 0, before.size() - 1) == 0);
}

TEST_F(AddCommand, TheArchiveNeverAddsItselfWhateverItsSpelling) {
  dir.write("a.txt", "a");
  ASSERT_EQ(add("", q("*")).code, 0);
  fs::create_directory(dir.path() / "sub");
  fs::create_symlink(dir.path() / "arc.lzh", dir.path() / "link.lzh");
  for (const std::string& archive : {dir.str("sub/../arc.lzh"), dir.str("./arc.lzh"), dir.str("link.lzh")}) {
    const Outcome r = unlha("a -n \"" + archive + "\"  \"" + dir.str("*.*") + "\"");
    ASSERT_EQ(r.code, 0) << archive << ": " << r.output;
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt"})) << archive;
  }
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.lzh"));  // written through, not replaced
}

TEST_F(AddCommand, FoldersNeedRecursionAndLinksAreStoredAsTheirTargets) {
  dir.write("src/a.txt", "content of a");
  dir.write("src/sub/b.txt", "b");
  dir.write("src/sub/深い/c.txt", "c");
  fs::create_symlink("a.txt", dir.path() / "src/link.txt");
  ASSERT_EQ(add("", q("src/*")).code, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "link.txt"}));
  EXPECT_EQ(member("link.txt"), "content of a");

  fs::remove(arc());
  ASSERT_EQ(add("-r", q("src/*.txt")).code, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "link.txt", "sub/b.txt", "sub/深い/c.txt"}));
  EXPECT_EQ(member("sub/深い/c.txt"), "c");
}

TEST_F(AddCommand, HeadersWhoseSizeWouldEndInAZeroByteCarryTheUnixTime) {
  // A 210-byte name makes a 256-byte header before the Unix time extension
  // (7 bytes) is added.
  const std::string longName = std::string(210, 'n');
  dir.write(longName, "long");
  dir.write("z.txt", "after the long one");
  ASSERT_EQ(add("", q(longName) + " " + q("z.txt")).code, 0);
  const std::vector<MemberInfo> members = readMembers(arc());
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ((members[1].headerOffset - members[0].headerOffset - members[0].packedSize) & 0xFF, 7u);
  const Outcome t = shell("lhasa t '" + arc() + "' 2>&1");
  EXPECT_EQ(t.code, 0) << t.output;
  EXPECT_NE(t.output.find("z.txt"), std::string::npos) << t.output;
}

// The user stops the command (the progress window's 中止) once the first new
// member is under way: the old archive stays as it was and no temporary file
// is left.
TEST_F(AddCommand, CancelledCommandLeavesTheOldArchive) {
  dir.write("a.txt", "old member");
  ASSERT_EQ(add("", q("a.txt")).code, 0);
  const std::string before = readFile(arc());
  dir.write("b.txt", std::string(3 << 20, 'b'));
  dir.write("c.txt", "c");
  struct StopAfterFirstMember final : ProgressReport {
    void member(std::string_view) override { started = true; }
    void fraction(double) override {}
    bool cancelled() const override { return started; }
    bool started = false;
  } report;
  Command command;
  std::string error;
  ASSERT_TRUE(parseCommand(*vedo::cp932::fromUtf8("a \"" + arc() + "\"  " + q("b.txt") + " " + q("c.txt")),
                           command, error))
      << error;
  try {
    runAdd(command, report);
    ADD_FAILURE() << "not stopped";
  } catch (const CommandError& e) {
    EXPECT_EQ(e.code(), UNLHA_ERROR_CANCELLED);
    EXPECT_NE(std::string(e.what()).find("cancelled"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(report.started);
  EXPECT_EQ(readFile(arc()), before);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

struct Failure {
  const char* label;
  int code;
  std::function<std::string(const TempFolder&)> command;  // CP932 command text
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.label; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

class AddCommandFailure : public AddCommand, public ::testing::WithParamInterface<Failure> {};

TEST_P(AddCommandFailure, ReportsAndLeavesTheOldArchiveByteIdentical) {
  dir.write("a.txt", "old member");
  ASSERT_EQ(add("", q("a.txt")).code, 0);
  const std::string command = GetParam().command(dir);  // may change the old archive first
  const std::string before = readFile(arc());
  std::vector<char> out(4096, '\x7F');
  const int code = Unlha(nullptr, command.c_str(), out.data(), 4000);
  EXPECT_EQ(code, GetParam().code) << out.data();
  EXPECT_GT(std::strlen(out.data()), 0u);
  EXPECT_EQ(readFile(arc()), before);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
  EXPECT_EQ(UnlhaGetRunning(), 0);
}

const Failure failures[] = {
    {"NoMatch", UNLHA_ERROR_NO_MATCH,
     [](const TempFolder& d) { return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("none*.txt")); }},
    {"OneOfTwoSourcesMatchesNothing", UNLHA_ERROR_NO_MATCH,
     [](const TempFolder& d) {
       d.write("new.txt", "new");
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("new.txt")) + " " + quoted(d.sjis("gone.txt"));
     }},
    {"OnlyAFolderMatchesWithoutRecursion", UNLHA_ERROR_NO_MATCH,
     [](const TempFolder& d) {
       d.write("folder/inside.txt", "x");
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("folder"));
     }},
    {"UnknownSwitch", UNLHA_ERROR_COMMAND,
     [](const TempFolder& d) { return "a -n -x1 " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt")); }},
    {"UnknownCommand", UNLHA_ERROR_COMMAND,
     [](const TempFolder& d) { return "z " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt")); }},
    {"NoSource", UNLHA_ERROR_COMMAND, [](const TempFolder& d) { return "a -n " + quoted(d.sjis("arc.lzh")); }},
    {"DeleteOfNoMember", UNLHA_ERROR_NO_MATCH,
     [](const TempFolder& d) { return "d -n " + quoted(d.sjis("arc.lzh")) + " " + quoted("none*"); }},
    {"UnreadableSource", UNLHA_ERROR_READ,
     [](const TempFolder& d) {
       // A FIFO is found by the search but cannot be read as a file (a mode
       // of 000 would not stop a test run as root).
       ::mkfifo(d.str("pipe").c_str(), 0644);
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("pipe"));
     }},
    {"SourceOf4GiB", UNLHA_ERROR_TOO_LARGE,
     [](const TempFolder& d) {
       d.write("huge.bin", "");
       fs::resize_file(d.path() / "huge.bin", 0x100000000ull);  // sparse
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("huge.bin"));
     }},
    {"NameNotCp932", UNLHA_ERROR_NAME,
     [](const TempFolder& d) { return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("") + "/\x81\x20.txt"); }},
    {"ExistingFileIsNoArchive", UNLHA_ERROR_BAD_ARCHIVE,
     [](const TempFolder& d) {
       d.write("arc.lzh", "This is a plain text file, not an LZH archive at all.\n");
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt"));
     }},
    {"ExistingArchiveTruncated", UNLHA_ERROR_BAD_ARCHIVE,
     [](const TempFolder& d) {
       fs::resize_file(d.path() / "arc.lzh", fs::file_size(d.path() / "arc.lzh") - 3);
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt"));
     }},
    {"ExistingArchiveSelfExtracting", UNLHA_ERROR_BAD_ARCHIVE,
     [](const TempFolder& d) {
       // A program before the archive: rewriting would drop the program.
       d.write("arc.lzh", "MZ program that unpacks what follows\n" + readFile(d.path() / "arc.lzh"));
       return "d -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted("a.txt");
     }},
    {"WildcardInArchiveName", UNLHA_ERROR_COMMAND,
     [](const TempFolder& d) { return "a -n " + quoted(d.sjis("arc?.lzh")) + "  " + quoted(d.sjis("a.txt")); }},
    {"ArchiveFolderMissing", UNLHA_ERROR_WRITE,
     [](const TempFolder& d) { return "a -n " + quoted(d.sjis("no/such/arc.lzh")) + "  " + quoted(d.sjis("a.txt")); }},
    {"BytesAfterTheEndMark", UNLHA_ERROR_BAD_ARCHIVE,
     [](const TempFolder& d) {
       std::ofstream(d.path() / "arc.lzh", std::ios::binary | std::ios::app) << "trailing data";
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt"));
     }},
    {"DeleteWithBytesAfterTheEndMark", UNLHA_ERROR_BAD_ARCHIVE,
     [](const TempFolder& d) {
       std::ofstream(d.path() / "arc.lzh", std::ios::binary | std::ios::app) << "trailing data";
       return "d -n " + quoted(d.sjis("arc.lzh")) + " a.txt";
     }},
    {"ReadOnlyArchive", UNLHA_ERROR_WRITE,
     [](const TempFolder& d) {
       ::chmod(d.str("arc.lzh").c_str(), 0444);
       return "a -n " + quoted(d.sjis("arc.lzh")) + "  " + quoted(d.sjis("a.txt"));
     }},
    {"DeleteFromReadOnlyArchive", UNLHA_ERROR_WRITE,
     [](const TempFolder& d) {
       ::chmod(d.str("arc.lzh").c_str(), 0444);
       return "d -n " + quoted(d.sjis("arc.lzh")) + " a.txt";
     }},
    {"ArchiveIsAFolder", UNLHA_ERROR_WRITE,
     [](const TempFolder& d) {
       fs::create_directory(d.path() / "dir.lzh");
       return "a -n " + quoted(d.sjis("dir.lzh")) + "  " + quoted(d.sjis("a.txt"));
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, AddCommandFailure, ::testing::ValuesIn(failures),
                         [](const auto& info) { return std::string(info.param.label); });

// Archive names as long as the file system allows: the new archive never
// needs a longer name of its own.
TEST_F(AddCommand, ArchiveNameOfTheLongestLengthIsWrittenAndUpdated) {
  dir.write("a.txt", "first");
  dir.write("b.txt", "second");
  const std::string name = std::string(251, 'n') + ".lzh";
  for (const char* source : {"a.txt", "b.txt"})
    ASSERT_EQ(unlha("a -n \"" + dir.str(name) + "\"  " + q(source)).code, 0);
  EXPECT_EQ(readMembers(dir.str(name)).size(), 2u);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

// True once some process waits for the flock on the file with inode `inode`.
bool someoneWaitsForTheLock(ino_t inode) {
  std::ifstream locks("/proc/locks");
  const std::string tail = ":" + std::to_string(inode) + " ";
  for (std::string line; std::getline(locks, line);)
    if (line.find("->") != std::string::npos && line.find(tail) != std::string::npos) return true;
  return false;
}

// Two writers of one archive: the second waits for the first and then adds
// to the first one's result, so neither loses what the other stored.
TEST_F(AddCommand, ASecondWriterWaitsAndWorksOnTheFirstOnesResult) {
  dir.write("a.txt", "in the old archive");
  dir.write("b.txt", "added by the first writer");
  dir.write("c.txt", "added by the second writer");
  ASSERT_EQ(add("", q("a.txt")).code, 0);
  // What the first writer will put in place: the archive with b.txt.
  fs::create_directory(dir.path() / "first");
  fs::copy_file(arc(), dir.path() / "first/arc.lzh");
  ASSERT_EQ(unlha("a -n " + q("first/arc.lzh") + "  " + q("b.txt")).code, 0);

  // The test is the first writer: it holds the folder's lock, as every writer does.
  const vedo::UniqueFd folder(::open(dir.str().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(::flock(folder.get(), LOCK_EX), 0);
  int secondResult = -1;
  std::thread second([&] { secondResult = add("", q("c.txt")).code; });
  struct stat st {};
  ASSERT_EQ(::fstat(folder.get(), &st), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!someoneWaitsForTheLock(st.st_ino) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_TRUE(someoneWaitsForTheLock(st.st_ino));

  fs::rename(dir.path() / "first/arc.lzh", arc());
  ASSERT_EQ(::flock(folder.get(), LOCK_UN), 0);
  second.join();

  EXPECT_EQ(secondResult, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

// A progress display that lets another program act at the first member.
struct ActingReport final : ProgressReport {
  std::function<void()> act;
  void member(std::string_view) override {
    if (act) std::exchange(act, nullptr)();
  }
  void fraction(double) override {}
};

// A program that takes no lock replaces the archive while "a" rewrites it:
// the rename would lose its file, so the command fails and leaves it.
TEST_F(AddCommand, ArchiveChangedByAnotherProgramMeanwhileIsLeftAsItIs) {
  dir.write("a.txt", "old member");
  dir.write("b.txt", "new member");
  ASSERT_EQ(add("", q("a.txt")).code, 0);
  Command command;
  std::string error;
  ASSERT_TRUE(parseCommand(*vedo::cp932::fromUtf8("a -n " + q("arc.lzh") + "  " + q("b.txt")), command, error))
      << error;
  ActingReport report;
  report.act = [&] {
    dir.write("other.lzh", "another program's file");
    fs::rename(dir.path() / "other.lzh", arc());
  };
  try {
    runAdd(command, report);
    ADD_FAILURE() << "the command succeeded";
  } catch (const CommandError& e) {
    EXPECT_EQ(e.code(), UNLHA_ERROR_WRITE);
  }
  EXPECT_EQ(readFile(arc()), "another program's file");
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(AddCommand, MessageIsCutToTheBufferAndAlwaysTerminated) {
  char out[16];
  std::memset(out, 'X', sizeof out);
  EXPECT_EQ(Unlha(nullptr, "a -n -unknown-switch-with-a-long-name \"x.lzh\"  \"y\"", out, 8), UNLHA_ERROR_COMMAND);
  EXPECT_EQ(std::strlen(out), 7u);
  EXPECT_EQ(out[8], 'X');
  EXPECT_EQ(Unlha(nullptr, "a", nullptr, 0), UNLHA_ERROR_COMMAND);
  EXPECT_EQ(Unlha(nullptr, nullptr, out, 8), UNLHA_ERROR_ARGUMENT);
}

TEST(UnlhaEntries, VersionModesAndAMissingArchive) {
  EXPECT_EQ(UnlhaGetVersion(), 100);
  EXPECT_EQ(UnlhaGetRunning(), 0);
  EXPECT_NE(UnlhaSetBackGroundMode(1), 0);
  EXPECT_EQ(UnlhaGetBackGroundMode(), 1);
  EXPECT_NE(UnlhaSetCursorMode(1), 0);
  EXPECT_EQ(UnlhaGetCursorMode(), 1);
  EXPECT_NE(UnlhaSetCursorInterval(120), 0);
  EXPECT_EQ(UnlhaSetCursorInterval(-1), 0);
  EXPECT_EQ(UnlhaGetCursorInterval(), 120);
  EXPECT_EQ(UnlhaOpenArchive(nullptr, "no such archive.lzh", 0), 0);
  EXPECT_EQ(UnlhaCheckArchive("no such archive.lzh", 0), 0);
  EXPECT_EQ(UnlhaGetFileCount("no such archive.lzh"), -1);
  EXPECT_EQ(UnlhaQueryFunctionList(10), 1);
  EXPECT_EQ(UnlhaQueryFunctionList(14), 1);
  EXPECT_EQ(UnlhaQueryFunctionList(42), 0);
}

TEST(UnlhaLibrary, ExportsExactlyTheFortyOneEntries) {
  const Outcome r = shell("nm -D --defined-only '" UNLHA32_LIBRARY_PATH "'");
  ASSERT_EQ(r.code, 0);
  std::set<std::string> exported;
  std::size_t start = 0;
  for (std::size_t nl; (nl = r.output.find('\n', start)) != std::string::npos; start = nl + 1) {
    const std::string line = r.output.substr(start, nl - start);
    exported.insert(line.substr(line.rfind(' ') + 1));
  }
#define ENTRY_NAME(name) #name,
  const std::set<std::string> entries = {UNLHA32_ENTRIES(ENTRY_NAME)};
#undef ENTRY_NAME
  EXPECT_EQ(entries.size(), 41u);
  EXPECT_EQ(exported, entries);
}

// The version script names the entries of the list, in its order.
TEST(UnlhaLibrary, TheExportMapHoldsTheEntryList) {
  std::ifstream in(UNLHA32_EXPORT_MAP);
  ASSERT_TRUE(in) << UNLHA32_EXPORT_MAP;
  std::stringstream text;
  text << in.rdbuf();
  const std::string map = text.str();
  const std::size_t global = map.find("global:");
  const std::size_t local = map.find("local:");
  ASSERT_LT(global, local);
  std::vector<std::string> names;
  std::istringstream words(map.substr(global + 7, local - global - 7));
  for (std::string word; std::getline(words >> std::ws, word, ';');) names.push_back(word);
#define ENTRY_NAME(name) #name,
  EXPECT_EQ(names, (std::vector<std::string>{UNLHA32_ENTRIES(ENTRY_NAME)}));
#undef ENTRY_NAME
}

TEST(UnlhaFrontEnd, BuildsTheCommandAndExitsWithTheResult) {
  TempFolder dir;
  dir.write("表ソボ.txt", "front end");
  const std::string unlha = UNLHA_FRONT_END_PATH;
  const Outcome ok = shell("'" + unlha + "' a -n '" + dir.str("arc.lzh") + "' '" + dir.str("表ソボ.txt") + "'");
  EXPECT_EQ(ok.code, 0) << ok.output;
  EXPECT_NE(ok.output.find("表ソボ.txt"), std::string::npos) << ok.output;
  EXPECT_EQ(shell("bsdtar --options hdrcharset=CP932 -xOf '" + dir.str("arc.lzh") + "'").output, "front end");
  const Outcome bad = shell("'" + unlha + "' a -q '" + dir.str("arc.lzh") + "' '" + dir.str("*.txt") + "' 2>&1");
  EXPECT_EQ(bad.code, 2);  // a wrong command line
  EXPECT_NE(bad.output.find("-q"), std::string::npos) << bad.output;
  const Outcome missing = shell("'" + unlha + "' t '" + dir.str("none.lzh") + "' 2>/dev/null");
  EXPECT_EQ(missing.code, 1);  // a command that failed
  // The library's messages: English unless the user's language says otherwise.
  const std::string badSwitch = " a -q '" + dir.str("arc.lzh") + "' '" + dir.str("*.txt") + "' 2>&1";
  EXPECT_NE(shell("LANGUAGE= LC_ALL=C.UTF-8 '" + unlha + "'" + badSwitch).output.find("unknown switch \"-q\""),
            std::string::npos);
  const Outcome japanese = shell("LANGUAGE=ja LC_ALL=C.UTF-8 '" + unlha + "'" + badSwitch);
  EXPECT_NE(japanese.output.find("不明なスイッチです \"-q\""), std::string::npos) << japanese.output;
}

// The conventions of a command-line tool: help and version on standard output
// with status 0, a wrong command line on standard error with status 2.
TEST(UnlhaFrontEnd, HelpVersionAndUsageErrors) {
  const std::string unlha = UNLHA_FRONT_END_PATH;
  struct Case {
    const char* arguments;
    int code;
    const char* stdoutHolds;  // "" for nothing on standard output
  };
  for (const Case& c : {Case{"--help", 0, "usage: unlha a"}, Case{"-h", 0, "exit status"},
                        Case{"--version", 0, "unlha (libunlha32) "}, Case{"", 2, ""}, Case{"--hlep", 2, ""},
                        Case{"q x.lzh", 2, ""}}) {
    const Outcome r = shell("'" + unlha + "' " + c.arguments + " 2>/dev/null");
    EXPECT_EQ(r.code, c.code) << c.arguments;
    if (*c.stdoutHolds == '\0') EXPECT_EQ(r.output, "") << c.arguments;
    else EXPECT_NE(r.output.find(c.stdoutHolds), std::string::npos) << c.arguments << ": " << r.output;
  }
}

}  // namespace
}  // namespace unlha::test
