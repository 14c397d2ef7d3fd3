#pragma once
// Test access to the stand-in archiver libraries built by the test suite.
// FakeUnlha opens one of them a second time (the loader shares the instance
// the binding loaded) and drives it through its control entries.

#include <cstdint>
#include <string>

namespace vedo::test {

// Paths of the stand-in libraries.
std::string fakeUnlhaPath();             // Unlha, UnlhaGetVersion, UnlhaGetRunning
std::string fakeUnlhaNoRunningPath();    // the same without UnlhaGetRunning
std::string missingLibraryName();        // a bare name no loader finds

class FakeUnlha {
 public:
  using Action = void (*)(const char* command, void* context);

  explicit FakeUnlha(const std::string& path = fakeUnlhaPath());
  ~FakeUnlha();
  FakeUnlha(const FakeUnlha&) = delete;
  FakeUnlha& operator=(const FakeUnlha&) = delete;

  void reset() const;  // back to: result 0, idle, version 113, writes the archive
  int callCount() const;
  std::string lastCommand() const;
  void* lastOwner() const;
  std::uint32_t lastSize() const;
  void setResult(int result) const;    // what Unlha returns
  void setRunning(int running) const;  // what UnlhaGetRunning returns
  void setVersion(int version) const;  // what UnlhaGetVersion returns
  // When on (the default) a successful Unlha writes a placeholder file at the
  // command's archive path.
  void setWriteArchive(bool on) const;
  // Runs inside Unlha, after the command is recorded.
  void setAction(Action action, void* context) const;

 private:
  template <typename Fn>
  Fn entry(const char* name) const;
  void* handle_ = nullptr;
};

}  // namespace vedo::test
