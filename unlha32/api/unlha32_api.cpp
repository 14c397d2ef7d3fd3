// The C entries of the library: thin shims that check their arguments, run the
// work, and turn every failure (exceptions included) into a result code. No
// exception ever leaves this file.

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "platform/sjis_text.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/read_archive.h"
#include "unlha32/commands/add_command.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/delete_command.h"
#include "unlha32/commands/extract_command.h"
#include "unlha32/commands/read_commands.h"
#include "unlha32/include/unlha32.h"
#include "unlha32/include/unlha32_entries.h"
#include "unlha32/progress/progress.h"

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
  return unlha::runWithProgress(!command.noProgress, [&](unlha::ProgressReport& report) -> int {
    // Runs on whichever thread the progress display chose: catch here too.
    try {
      unlha::CommandResult result;
      switch (command.kind) {
        case unlha::CommandKind::Add: result = unlha::runAdd(command, report); break;
        case unlha::CommandKind::List: result = unlha::runList(command, report); break;
        case unlha::CommandKind::Test: result = unlha::runTest(command, report); break;
        case unlha::CommandKind::ExtractFlat:
        case unlha::CommandKind::Extract: result = unlha::runExtract(command, report); break;
        case unlha::CommandKind::Delete: result = unlha::runDelete(command, report); break;
      }
      message = std::move(result.message);
      return result.code;
    } catch (const unlha::CommandError& e) {
      message = e.what();
      return e.code();
    } catch (const std::bad_alloc&) {
      message = unlha::tr("out of memory");
      return UNLHA_ERROR_WRITE;
    } catch (const std::exception& e) {
      message = std::string("unexpected failure: ") + e.what();
      return UNLHA_ERROR_WRITE;
    }
  });
}

// An archive opened through UnlhaOpenArchive: its member headers, read once,
// and where the member search stands.
struct OpenArchive {
  std::string name;  // as the caller gave it (CP932)
  struct stat status {};
  std::vector<unlha::MemberInfo> members;
  std::string pattern;
  std::size_t next = 0;                 // where FindNext looks on
  std::optional<std::size_t> current;   // the member the getters describe
};

std::mutex handlesMutex;
std::map<int, std::unique_ptr<OpenArchive>> handles;
int nextHandle = 1;

// Runs `f` on the open archive `handle` under the table's lock; `failure`
// when there is no such archive, or when `f` needs a current member and
// there is none, or on any exception.
template <typename F>
int withArchive(int handle, int failure, F f) {
  try {
    std::lock_guard lock(handlesMutex);
    const auto it = handles.find(handle);
    if (it == handles.end()) return failure;
    return f(*it->second);
  } catch (...) {
    return failure;
  }
}

template <typename F>
int withMember(int handle, int failure, F f) {
  return withArchive(handle, failure, [&](OpenArchive& a) {
    if (!a.current) return failure;
    return f(a.members[*a.current]);
  });
}

// A 64-bit size as the entries return it: the value when it fits in 31 bits,
// else the low 32 bits as the int's bit pattern (read it as uint32_t); sizes
// of 4 GiB or more give 0xFFFFFFFF.
int sizeResult(std::uint64_t n) {
  return static_cast<int>(static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFFFFFFu)));
}

int ratioResult(std::uint64_t packed, std::uint64_t original) {
  if (original == 0) return 0;
  return static_cast<int>(std::min<long double>(
      static_cast<long double>(packed) * 1000 / static_cast<long double>(original) + 0.5L, 0x7FFFFFFF));
}

// The header's OS id as one of the UNLHA_OS_* numbers.
int osType(std::uint8_t id) {
  switch (id) {
    case 'M': return UNLHA_OS_MSDOS;
    case '2': return UNLHA_OS_OS2;
    case 'U': return UNLHA_OS_UNIX;
    case 'm': return UNLHA_OS_MACOS;
    case '9': return UNLHA_OS_OS9;
    case 'K': return UNLHA_OS_OS68K;
    case '3': return UNLHA_OS_OS386;
    case 'H': return UNLHA_OS_HUMAN;
    case 'C': return UNLHA_OS_CPM;
    case 'F': return UNLHA_OS_FLEX;
    case 'w': case 'W': return UNLHA_OS_WINDOWS;
    case 'J': return UNLHA_OS_JAVA;
    default: return UNLHA_OS_GENERIC;
  }
}

// MS-DOS attribute bits of a member: the stored ones, with the folder bit for
// a folder member and the read-only bit where the Unix mode has no write bit.
int attributeOf(const unlha::MemberInfo& m) {
  int a = m.attribute;
  if (m.isDirectory()) a |= 0x10;
  if (m.unixMode && (*m.unixMode & 0222) == 0) a |= 0x01;
  return a;
}

// Copies a CP932 text into a caller's buffer cut at a character boundary;
// UNLHA_ERROR_BUFFER (with the cut text) when it does not fit whole.
int putText(char* buffer, int size, const std::string& text) {
  if (buffer == nullptr || size <= 0) return UNLHA_ERROR_ARGUMENT;
  putOutput(buffer, static_cast<std::uint32_t>(size), text);
  return text.size() < static_cast<std::size_t>(size) ? UNLHA_OK : UNLHA_ERROR_BUFFER;
}

// The member's MS-DOS date (high 16 bits) and time; 0 for a member without a time.
std::uint32_t memberDosTime(const unlha::MemberInfo& m) {
  const std::optional<std::int64_t> t = unlha::modificationTime(m);
  return t ? unlha::dosDateTime(*t) : 0;
}

void fillInfo(const unlha::MemberInfo& m, UnlhaMemberInfo* info) {
  if (info == nullptr) return;
  *info = UnlhaMemberInfo{};
  info->originalSize = static_cast<std::uint32_t>(sizeResult(m.originalSize));
  info->compressedSize = static_cast<std::uint32_t>(sizeResult(m.packedSize));
  info->crc = m.crc;
  info->osType = static_cast<std::uint32_t>(osType(m.osId));
  info->ratio = static_cast<std::uint16_t>(std::min(ratioResult(m.packedSize, m.originalSize), 0xFFFF));
  const std::uint32_t dos = memberDosTime(m);
  info->date = static_cast<std::uint16_t>(dos >> 16);
  info->time = static_cast<std::uint16_t>(dos & 0xFFFF);
  putOutput(info->fileName, sizeof info->fileName, m.path);
  const int a = attributeOf(m);
  const char letters[6] = {(a & 0x10) ? 'd' : '-', (a & 0x01) ? 'r' : '-', (a & 0x02) ? 'h' : '-',
                           (a & 0x04) ? 's' : '-', (a & 0x20) ? 'a' : '-', '\0'};
  std::memcpy(info->attribute, letters, sizeof letters);
  putOutput(info->method, sizeof info->method, m.method);
}

// Moves the search of `a` to the next member matching its pattern.
int findFrom(OpenArchive& a, UnlhaMemberInfo* info) {
  for (; a.next < a.members.size(); ++a.next) {
    if (a.pattern.empty() || unlha::memberMatches(a.members[a.next], a.pattern)) {
      a.current = a.next++;
      fillInfo(a.members[*a.current], info);
      return 0;
    }
  }
  a.current.reset();
  return -1;
}

// Dates and times of the archive file itself, as MS-DOS words.
std::uint32_t archiveDosTime(const OpenArchive& a) {
  return unlha::dosDateTime(static_cast<std::int64_t>(a.status.st_mtime));
}

// The entries' positions, from 1, in the order of the entry list.
enum EntryPosition : int {
  NoEntry,
#define UNLHA_ENTRY_POSITION(name) name##Position,
  UNLHA32_ENTRIES(UNLHA_ENTRY_POSITION)
#undef UNLHA_ENTRY_POSITION
  PositionAfterLast
};

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
    putOutput(output, size, unlha::tr("no command"));
    return UNLHA_ERROR_ARGUMENT;
  }
  int expected = 0;
  if (!running.compare_exchange_strong(expected, 1)) {
    putOutput(output, size, unlha::tr("another command is running"));
    return UNLHA_ERROR_BUSY;
  }
  int code = UNLHA_ERROR_WRITE;
  try {
    std::string message;
    code = runCommand(command, message);
    putOutput(output, size, message);
  } catch (...) {
    // Only the message handling can get here (out of memory): report without it.
    putOutput(output, size, unlha::tr("unexpected failure"));
    if (code == UNLHA_OK) code = UNLHA_ERROR_WRITE;
  }
  running.store(0);
  return code;
}

int UnlhaCheckArchive(const char* archive, int mode) {
  if (archive == nullptr) return 0;
  try {
    const unlha::ReadArchive a = unlha::openForReading(archive);
    if (mode == UNLHA_CHECK_FULL) {
      for (const unlha::MemberInfo& m : a.members) unlha::decodeMemberData(a, m, [](std::span<const std::uint8_t>) {});
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

// There are no defaults of the library to set in a dialog: every choice is a
// switch of the command.
int UnlhaConfigDialog(void*, char*, int) { return UNLHA_ERROR_NOT_SUPPORTED; }

int UnlhaGetFileCount(const char* archive) {
  if (archive == nullptr) return -1;
  try {
    return static_cast<int>(std::min<std::size_t>(unlha::openForReading(archive).members.size(), 0x7FFFFFFF));
  } catch (...) {
    return -1;
  }
}

int UnlhaOpenArchive(void* /*owner*/, const char* archive, uint32_t /*mode*/) {
  if (archive == nullptr) return 0;
  try {
    unlha::ReadArchive read = unlha::openForReading(archive);
    auto open = std::make_unique<OpenArchive>();
    open->name = archive;
    open->status = read.status;
    open->members = std::move(read.members);
    std::lock_guard lock(handlesMutex);
    if (nextHandle == 0x7FFFFFFF) return 0;
    const int handle = nextHandle++;
    handles.emplace(handle, std::move(open));
    return handle;
  } catch (...) {
    return 0;
  }
}

int UnlhaCloseArchive(int archive) {
  try {
    std::lock_guard lock(handlesMutex);
    return handles.erase(archive) == 1 ? UNLHA_OK : UNLHA_ERROR_ARGUMENT;
  } catch (...) {
    return UNLHA_ERROR_ARGUMENT;
  }
}

int UnlhaFindFirst(int archive, const char* wildName, void* info) {
  return withArchive(archive, UNLHA_ERROR_ARGUMENT, [&](OpenArchive& a) {
    a.pattern = wildName == nullptr ? "" : wildName;
    if (a.pattern == "*" || a.pattern == "*.*") a.pattern.clear();
    a.next = 0;
    return findFrom(a, static_cast<UnlhaMemberInfo*>(info));
  });
}

int UnlhaFindNext(int archive, void* info) {
  return withArchive(archive, UNLHA_ERROR_ARGUMENT,
                     [&](OpenArchive& a) { return findFrom(a, static_cast<UnlhaMemberInfo*>(info)); });
}

int UnlhaGetArcFileName(int archive, char* buffer, int size) {
  return withArchive(archive, UNLHA_ERROR_ARGUMENT, [&](OpenArchive& a) { return putText(buffer, size, a.name); });
}

int UnlhaGetArcFileSize(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return sizeResult(static_cast<std::uint64_t>(a.status.st_size)); });
}

namespace {
std::uint64_t totalOriginal(const OpenArchive& a) {
  std::uint64_t n = 0;
  for (const unlha::MemberInfo& m : a.members) n += m.originalSize;
  return n;
}
std::uint64_t totalPacked(const OpenArchive& a) {
  std::uint64_t n = 0;
  for (const unlha::MemberInfo& m : a.members) n += m.packedSize;
  return n;
}
}  // namespace

int UnlhaGetArcOriginalSize(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return sizeResult(totalOriginal(a)); });
}
int UnlhaGetArcCompressedSize(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return sizeResult(totalPacked(a)); });
}
int UnlhaGetArcRatio(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return ratioResult(totalPacked(a), totalOriginal(a)); });
}
int UnlhaGetArcDate(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return static_cast<int>(archiveDosTime(a) >> 16); });
}
int UnlhaGetArcTime(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) { return static_cast<int>(archiveDosTime(a) & 0xFFFF); });
}
int UnlhaGetArcOSType(int archive) {
  return withArchive(archive, -1, [](OpenArchive& a) {
    return a.members.empty() ? UNLHA_OS_GENERIC : osType(a.members.front().osId);
  });
}

int UnlhaGetFileName(int archive, char* buffer, int size) {
  return withMember(archive, UNLHA_ERROR_ARGUMENT, [&](const unlha::MemberInfo& m) { return putText(buffer, size, m.path); });
}
int UnlhaGetMethod(int archive, char* buffer, int size) {
  return withMember(archive, UNLHA_ERROR_ARGUMENT, [&](const unlha::MemberInfo& m) { return putText(buffer, size, m.method); });
}
int UnlhaGetOriginalSize(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return sizeResult(m.originalSize); });
}
int UnlhaGetCompressedSize(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return sizeResult(m.packedSize); });
}
int UnlhaGetRatio(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return ratioResult(m.packedSize, m.originalSize); });
}
int UnlhaGetDate(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) {
    return static_cast<int>(memberDosTime(m) >> 16);
  });
}
int UnlhaGetTime(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) {
    return static_cast<int>(memberDosTime(m) & 0xFFFF);
  });
}

namespace {
// A Unix time as the entries return it: -1 when it does not fit.
int timeResult(std::int64_t t) { return t < 0 || t > 0x7FFFFFFF ? -1 : static_cast<int>(t); }
}  // namespace

int UnlhaGetWriteTime(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) {
    const std::optional<std::int64_t> t = unlha::modificationTime(m);
    return t ? timeResult(*t) : -1;
  });
}
int UnlhaGetAccessTime(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) {
    const std::optional<std::int64_t> t = unlha::accessTime(m);
    return t ? timeResult(*t) : -1;
  });
}
int UnlhaGetCreateTime(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) {
    const std::optional<std::int64_t> t = unlha::creationTime(m);
    return t ? timeResult(*t) : -1;
  });
}
int UnlhaGetCRC(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return static_cast<int>(m.crc); });
}
int UnlhaGetAttribute(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return attributeOf(m); });
}
int UnlhaGetOSType(int archive) {
  return withMember(archive, -1, [](const unlha::MemberInfo& m) { return osType(m.osId); });
}

int UnlhaQueryFunctionList(int function) {
  // Entries that do real work in this version, by their position.
  if (function == UnlhaConfigDialogPosition) return 0;  // no defaults to set
  return function > NoEntry && function < PositionAfterLast ? 1 : 0;
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
