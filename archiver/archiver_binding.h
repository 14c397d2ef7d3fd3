#pragma once
// The binding of the archiver library: a process-wide table of the library's 41
// entries. Every slot always holds a callable routine: the library's own when it
// was found, otherwise a stub that tells the user the library is missing (through
// the notice hook) and returns 0. Callers never test for presence.

#include "unlha32/include/unlha32.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vedo::unlha32 {

// Slot order of the table; also the order in which entries are looked up.
#define VEDO_UNLHA32_ENTRIES(X)                                                                     \
  X(UnlhaGetVersion) X(UnlhaGetSubVersion) X(UnlhaGetRunning) X(UnlhaGetBackGroundMode)              \
  X(UnlhaSetBackGroundMode) X(UnlhaGetCursorMode) X(UnlhaSetCursorMode) X(UnlhaGetCursorInterval)   \
  X(UnlhaSetCursorInterval) X(Unlha) X(UnlhaCheckArchive) X(UnlhaConfigDialog) X(UnlhaGetFileCount) \
  X(UnlhaOpenArchive) X(UnlhaCloseArchive) X(UnlhaFindFirst) X(UnlhaFindNext)                       \
  X(UnlhaGetArcFileName) X(UnlhaGetArcFileSize) X(UnlhaGetArcOriginalSize)                          \
  X(UnlhaGetArcCompressedSize) X(UnlhaGetArcRatio) X(UnlhaGetArcDate) X(UnlhaGetArcTime)            \
  X(UnlhaGetArcOSType) X(UnlhaGetFileName) X(UnlhaGetMethod) X(UnlhaGetOriginalSize)                \
  X(UnlhaGetCompressedSize) X(UnlhaGetRatio) X(UnlhaGetDate) X(UnlhaGetTime) X(UnlhaGetWriteTime)   \
  X(UnlhaGetAccessTime) X(UnlhaGetCreateTime) X(UnlhaGetCRC) X(UnlhaGetAttribute) X(UnlhaGetOSType) \
  X(UnlhaQueryFunctionList) X(UnlhaSetOwnerWindow) X(UnlhaClearOwnerWindow)

enum class Entry : std::size_t {
#define VEDO_ENTRY_ENUM(name) name,
  VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_ENUM)
#undef VEDO_ENTRY_ENUM
};
inline constexpr std::size_t EntryCount = 41;

// The library's file name, looked up through the loader's search order.
inline constexpr const char* LibraryName = "libunlha32.so";

// Shows the missing-library notice: a modal box captioned "PANIC!!" with the
// error icon and one OK button. Start-up installs the windowed one; until then
// the text goes to standard error.
using NoticeHook = std::function<void(const std::string& text)>;
void setNoticeHook(NoticeHook hook);

struct ArchiverBinding {
#define VEDO_ENTRY_SLOT(name) decltype(&::name) name = nullptr;
  VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_SLOT)
#undef VEDO_ENTRY_SLOT
};

// The process-wide table.
ArchiverBinding& Archiver();

// Puts every stub in place, then loads `libraryName` and binds each entry found.
// A bare name is looked up in the loader's search order, then beside the
// program and in ../lib. A library that cannot be loaded leaves every stub in
// place and shows nothing. A library loaded before is released first.
void LoadArchiver(const char* libraryName = LibraryName);
// Releases the library when it was loaded; every slot gets its stub back.
void UnloadArchiver();
bool ArchiverLoaded();
// True when the slot holds the library's own routine, not its stub.
bool HoldsLibraryRoutine(Entry entry);
// The same for any table (an engine may be handed a table other than the
// process-wide one): true when the slot holds anything but the entry's stub.
bool HoldsLibraryRoutine(const ArchiverBinding& table, Entry entry);
// A table with every slot holding its stub.
ArchiverBinding StubBinding();
std::string_view EntryName(Entry entry);

}  // namespace vedo::unlha32
