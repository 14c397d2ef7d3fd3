// The C entries of the library: thin shims that check their arguments, run the
// work, and turn every failure (exceptions included) into a result code. No
// exception ever leaves this file.

#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "add_command.h"
#include "command_error.h"
#include "command_line.h"
#include "progress.h"
#include "sjis_text.h"
#include "unlha32.h"

namespace {

// 1.00: the first release of this library.
constexpr int kVersion = 100;
constexpr int kSubVersion = 0;
constexpr int kDefaultCursorInterval = 80;

std::atomic<int> running{0};
std::atomic<int> backgroundMode{0};
std::atomic<int> cursorMode{0};
std::atomic<int> cursorInterval{kDefaultCursorInterval};
std::atomic<void*> ownerWindow{nullptr};

// Copies `text` into the caller's buffer of `size` bytes, cut at a character
// boundary so that no half of a double-byte character is left, and always
// NUL-terminated when size > 0.
void putOutput(char* output, std::uint32_t size, const std::string& text) {
  if (output == nullptr || size == 0) return;
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t len = vedo::sjis::charLength(text, n);
    if (n + len > size - 1) break;
    n += len;
  }
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

int runCommand(const char* text, std::string& message) {
  unlha::Command command;
  std::string error;
  if (!unlha::parseCommand(text, command, error)) {
    message = error;
    return UNLHA_ERROR_COMMAND;
  }
  if (command.kind != unlha::CommandKind::Add) {
    message = "command \"" + command.word + "\" is not supported by this version";
    return UNLHA_ERROR_NOT_SUPPORTED;
  }
  return unlha::runWithProgress(!command.noProgress, [&](unlha::ProgressReport& report) -> int {
    // Runs on whichever thread the progress display chose: catch here too.
    try {
      unlha::CommandResult result = unlha::runAdd(command, report);
      message = std::move(result.message);
      return result.code;
    } catch (const unlha::CommandError& e) {
      message = e.what();
      return e.code();
    } catch (const std::bad_alloc&) {
      message = "out of memory";
      return UNLHA_ERROR_WRITE;
    } catch (const std::exception& e) {
      message = std::string("unexpected failure: ") + e.what();
      return UNLHA_ERROR_WRITE;
    }
  });
}

}  // namespace

extern "C" {

int UnlhaGetVersion(void) { return kVersion; }
int UnlhaGetSubVersion(void) { return kSubVersion; }
int UnlhaGetRunning(void) { return running.load(); }

int UnlhaGetBackGroundMode(void) { return backgroundMode.load(); }
int UnlhaSetBackGroundMode(int mode) {
  backgroundMode.store(mode != 0);
  return 1;
}
int UnlhaGetCursorMode(void) { return cursorMode.load(); }
int UnlhaSetCursorMode(int mode) {
  cursorMode.store(mode != 0);
  return 1;
}
int UnlhaGetCursorInterval(void) { return cursorInterval.load(); }
int UnlhaSetCursorInterval(int interval) {
  if (interval < 0) return 0;
  cursorInterval.store(interval);
  return 1;
}

int Unlha(void* /*owner*/, const char* command, char* output, uint32_t size) {
  if (command == nullptr) {
    putOutput(output, size, "no command");
    return UNLHA_ERROR_ARGUMENT;
  }
  int expected = 0;
  if (!running.compare_exchange_strong(expected, 1)) {
    putOutput(output, size, "another command is running");
    return UNLHA_ERROR_BUSY;
  }
  int code = UNLHA_ERROR_WRITE;
  try {
    std::string message;
    code = runCommand(command, message);
    putOutput(output, size, message);
  } catch (...) {
    // Only the message handling can get here (out of memory): report without it.
    putOutput(output, size, "unexpected failure");
    if (code == UNLHA_OK) code = UNLHA_ERROR_WRITE;
  }
  running.store(0);
  return code;
}

// The reading side of the library is not built yet: these entries answer
// UNLHA_ERROR_NOT_SUPPORTED.
int UnlhaCheckArchive(const char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaConfigDialog(void*, char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetFileCount(const char*) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaOpenArchive(void*, const char*, uint32_t) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaCloseArchive(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaFindFirst(int, const char*, void*) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaFindNext(int, void*) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcFileName(int, char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcFileSize(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcOriginalSize(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcCompressedSize(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcRatio(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcDate(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcTime(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetArcOSType(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetFileName(int, char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetMethod(int, char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetOriginalSize(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetCompressedSize(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetRatio(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetDate(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetTime(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetWriteTime(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetAccessTime(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetCreateTime(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetCRC(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetAttribute(int) { return UNLHA_ERROR_NOT_SUPPORTED; }
int UnlhaGetOSType(int) { return UNLHA_ERROR_NOT_SUPPORTED; }

int UnlhaQueryFunctionList(int function) {
  // Entries that do real work in this version, by their position in the entry
  // list (1 = UnlhaGetVersion ... 41 = UnlhaClearOwnerWindow).
  switch (function) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10:
    case 39: case 40: case 41:
      return 1;
    default:
      return 0;
  }
}

int UnlhaSetOwnerWindow(void* window) {
  ownerWindow.store(window);
  return 1;
}
int UnlhaClearOwnerWindow(void) {
  ownerWindow.store(nullptr);
  return 1;
}

}  // extern "C"
