// A stand-in archiver library for tests: it records what Unlha receives,
// returns a result the test chooses, can write a placeholder archive and can
// run a test's callback in the middle of the call. Built twice: once with every
// entry the tool calls, once without UnlhaGetRunning.
#include "unlha32/include/unlha32.h"

#include <cstdio>
#include <cstring>
#include <string>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

struct FakeState {
  int calls = 0;
  std::string lastCommand;
  void* lastOwner = nullptr;
  uint32_t lastSize = 0;
  int result = 0;
  int running = 0;
  int version = 113;
  bool writeArchive = true;
  void (*action)(const char* command, void* context) = nullptr;
  void* actionContext = nullptr;
};

FakeState state;

// The archive is the first double-quoted piece of an "a" command.
std::string archiveOf(const std::string& command) {
  const auto open = command.find('"');
  if (open == std::string::npos) return {};
  const auto close = command.find('"', open + 1);
  if (close == std::string::npos) return {};
  std::string path = command.substr(open + 1, close - open - 1);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

extern "C" {

int Unlha(void* owner, const char* command, char* output, uint32_t size) {
  ++state.calls;
  state.lastOwner = owner;
  state.lastSize = size;
  state.lastCommand = command ? command : "";
  if (state.action) state.action(command, state.actionContext);

  // Use the whole buffer the caller claims to have, as a real library may.
  if (output && size > 0) {
    std::memset(output, 'x', size);
    const char* message = state.result == 0 ? "ok" : "fake archiver failure";
    std::snprintf(output, size, "%s", message);
  }
  if (state.result == 0 && state.writeArchive) {
    const std::string archive = archiveOf(state.lastCommand);
    if (FILE* f = std::fopen(archive.c_str(), "wb")) {
      std::fputs("fake archive\n", f);
      std::fclose(f);
    }
  }
  return state.result;
}

int UnlhaGetVersion(void) { return state.version; }

#ifndef FAKE_UNLHA_WITHOUT_RUNNING
int UnlhaGetRunning(void) { return state.running; }
#endif

}  // extern "C"

FAKE_API void FakeUnlhaReset(void) { state = FakeState{}; }
FAKE_API int FakeUnlhaCallCount(void) { return state.calls; }
FAKE_API const char* FakeUnlhaLastCommand(void) { return state.lastCommand.c_str(); }
FAKE_API void* FakeUnlhaLastOwner(void) { return state.lastOwner; }
FAKE_API uint32_t FakeUnlhaLastSize(void) { return state.lastSize; }
FAKE_API void FakeUnlhaSetResult(int result) { state.result = result; }
FAKE_API void FakeUnlhaSetRunning(int running) { state.running = running; }
FAKE_API void FakeUnlhaSetVersion(int version) { state.version = version; }
FAKE_API void FakeUnlhaSetWriteArchive(int on) { state.writeArchive = on != 0; }
FAKE_API void FakeUnlhaSetAction(void (*action)(const char*, void*), void* context) {
  state.action = action;
  state.actionContext = context;
}
