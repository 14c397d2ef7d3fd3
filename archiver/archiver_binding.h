#pragma once
// The binding of the archiver library: a process-wide table of the library's
// entries. Every slot always holds a callable routine: the library's own when it
// was found, otherwise a stub that tells the user the library is missing (through
// the notice hook) and returns 0. Callers never test for presence.

#include "unlha32/include/unlha32.h"
#include "unlha32/include/unlha32_entries.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vedo::unlha32 {

// The table's slots follow the library's list of entries (UNLHA32_ENTRIES);
// entries are looked up in that order too.
enum class Entry : std::size_t {
#define VEDO_ENTRY_ENUM(name) name,
  UNLHA32_ENTRIES(VEDO_ENTRY_ENUM)
#undef VEDO_ENTRY_ENUM
};
#define VEDO_ENTRY_ONE(name) +1
inline constexpr std::size_t EntryCount = 0 UNLHA32_ENTRIES(VEDO_ENTRY_ONE);
#undef VEDO_ENTRY_ONE

// The library's file name, looked up through the loader's search order.
inline constexpr const char* LibraryName = "libunlha32.so";

// Shows the missing-library notice: a modal box captioned "PANIC!!" with the
// error icon and one OK button. Start-up installs the windowed one; until then
// the text goes to standard error.
using NoticeHook = std::function<void(const std::string& text)>;
void setNoticeHook(NoticeHook hook);

struct ArchiverBinding {
#define VEDO_ENTRY_SLOT(name) decltype(&::name) name = nullptr;
  UNLHA32_ENTRIES(VEDO_ENTRY_SLOT)
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
