#include "archiver/archiver_binding.h"

#include "tests/support/fake_unlha.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vedo::unlha32 {
namespace {

using test::FakeUnlha;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Calls a slot with zero or null for every argument, whatever its signature.
template <typename R, typename... Args>
R callWithDefaults(R (*fn)(Args...)) {
  return fn(Args{}...);
}

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setNoticeHook([this](const std::string& text) { notices.push_back(text); });
  }
  void TearDown() override {
    UnloadArchiver();
    setNoticeHook(nullptr);
  }

  std::vector<std::string> notices;
};

TEST_F(BindingTest, MissingLibraryLeavesEveryStubAndShowsNothingAtLoad) {
  LoadArchiver(test::missingLibraryName().c_str());
  EXPECT_FALSE(ArchiverLoaded());
  EXPECT_THAT(notices, IsEmpty());
  for (std::size_t i = 0; i < EntryCount; ++i) {
    EXPECT_FALSE(HoldsLibraryRoutine(static_cast<Entry>(i))) << EntryName(static_cast<Entry>(i));
  }
}

// Every stub names its own entry and returns 0: calling all 41 slots in table
// order gives 41 notices in that order.
TEST_F(BindingTest, EachStubNamesItsEntryAndReturnsZero) {
  LoadArchiver(test::missingLibraryName().c_str());
  ArchiverBinding& table = Archiver();
  std::vector<std::string> expected;
#define CALL_SLOT(name)                                    \
  EXPECT_EQ(callWithDefaults(table.name), 0) << #name;     \
  expected.push_back(#name ": LHA.DLL not loaded.");
  VEDO_UNLHA32_ENTRIES(CALL_SLOT)
#undef CALL_SLOT
  EXPECT_EQ(notices, expected);
  EXPECT_EQ(notices.size(), EntryCount);
}

TEST_F(BindingTest, StubWritesToStandardErrorBeforeAHookIsInstalled) {
  setNoticeHook(nullptr);
  LoadArchiver(test::missingLibraryName().c_str());
  char output[16] = {};
  ::testing::internal::CaptureStderr();
  const int result = Archiver().Unlha(nullptr, "a", output, sizeof output - 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Unlha: LHA.DLL not loaded.\n");
  EXPECT_EQ(result, 0);
}

TEST_F(BindingTest, LoadedLibraryBindsTheEntriesItExportsAndStubsTheRest) {
  LoadArchiver(test::fakeUnlhaPath().c_str());
  ASSERT_TRUE(ArchiverLoaded());
  FakeUnlha fake;
  fake.setVersion(113);
  fake.setRunning(1);

  EXPECT_TRUE(HoldsLibraryRoutine(Entry::Unlha));
  EXPECT_TRUE(HoldsLibraryRoutine(Entry::UnlhaGetVersion));
  EXPECT_TRUE(HoldsLibraryRoutine(Entry::UnlhaGetRunning));
  EXPECT_FALSE(HoldsLibraryRoutine(Entry::UnlhaCheckArchive));
  EXPECT_EQ(Archiver().UnlhaGetVersion(), 113);
  EXPECT_EQ(Archiver().UnlhaGetRunning(), 1);

  char output[64];
  EXPECT_EQ(Archiver().Unlha(nullptr, "a -n \"x.lzh\"  \"*.txt\"", output, 63), 0);
  EXPECT_EQ(fake.lastCommand(), "a -n \"x.lzh\"  \"*.txt\"");
  EXPECT_EQ(fake.lastSize(), 63u);
  EXPECT_THAT(notices, IsEmpty());

  // An entry the library lacks keeps its stub alone.
  EXPECT_EQ(Archiver().UnlhaCheckArchive("x.lzh", 0), 0);
  EXPECT_THAT(notices, ElementsAre("UnlhaCheckArchive: LHA.DLL not loaded."));
}

TEST_F(BindingTest, LibraryWithoutRunningEntryCompressesButThePollShowsItsNotice) {
  LoadArchiver(test::fakeUnlhaNoRunningPath().c_str());
  ASSERT_TRUE(ArchiverLoaded());
  FakeUnlha fake(test::fakeUnlhaNoRunningPath());
  fake.setResult(7);

  char output[32];
  EXPECT_EQ(Archiver().Unlha(nullptr, "a", output, 31), 7);
  EXPECT_EQ(fake.callCount(), 1);
  EXPECT_THAT(notices, IsEmpty());
  EXPECT_FALSE(HoldsLibraryRoutine(Entry::UnlhaGetRunning));
  EXPECT_EQ(Archiver().UnlhaGetRunning(), 0);
  EXPECT_EQ(Archiver().UnlhaGetRunning(), 0);
  EXPECT_THAT(notices, ElementsAre("UnlhaGetRunning: LHA.DLL not loaded.",
                                   "UnlhaGetRunning: LHA.DLL not loaded."));
}

TEST_F(BindingTest, UnloadReleasesAndALaterLoadStartsFromTheStubs) {
  LoadArchiver(test::fakeUnlhaPath().c_str());
  ASSERT_TRUE(ArchiverLoaded());
  UnloadArchiver();
  EXPECT_FALSE(ArchiverLoaded());
  UnloadArchiver();  // a second unload does nothing
  // A late call after the release reaches the stub, not the unmapped library.
  EXPECT_FALSE(HoldsLibraryRoutine(Entry::Unlha));
  EXPECT_EQ(Archiver().UnlhaGetRunning(), 0);
  EXPECT_THAT(notices, ElementsAre("UnlhaGetRunning: LHA.DLL not loaded."));

  // Reloading with a library that lacks an entry must not keep the entry bound
  // by the library before.
  LoadArchiver(test::fakeUnlhaNoRunningPath().c_str());
  EXPECT_TRUE(HoldsLibraryRoutine(Entry::Unlha));
  EXPECT_FALSE(HoldsLibraryRoutine(Entry::UnlhaGetRunning));
  LoadArchiver(test::missingLibraryName().c_str());
  EXPECT_FALSE(ArchiverLoaded());
  EXPECT_FALSE(HoldsLibraryRoutine(Entry::Unlha));
}

TEST_F(BindingTest, HoldsLibraryRoutineJudgesAnyTable) {
  ArchiverBinding table = StubBinding();
  EXPECT_FALSE(HoldsLibraryRoutine(table, Entry::Unlha));
  table.Unlha = [](void*, const char*, char*, uint32_t) { return 0; };
  EXPECT_TRUE(HoldsLibraryRoutine(table, Entry::Unlha));
  EXPECT_FALSE(HoldsLibraryRoutine(table, Entry::UnlhaGetVersion));
}

#ifdef VEDO_HAVE_UNLHA32
// The product library, found by its bare name as the tool finds it, exports
// every entry of the table.
TEST_F(BindingTest, RealLibraryLoadsByBareNameWithEveryEntry) {
  LoadArchiver();
  ASSERT_TRUE(ArchiverLoaded());
  for (std::size_t i = 0; i < EntryCount; ++i) {
    EXPECT_TRUE(HoldsLibraryRoutine(static_cast<Entry>(i))) << EntryName(static_cast<Entry>(i));
  }
  EXPECT_GT(Archiver().UnlhaGetVersion() & 0xFFFF, 0);
  EXPECT_EQ(Archiver().UnlhaGetRunning(), 0);
  EXPECT_THAT(notices, IsEmpty());
}
#endif

}  // namespace
}  // namespace vedo::unlha32
