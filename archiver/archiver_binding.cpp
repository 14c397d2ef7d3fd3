#include "archiver/archiver_binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <utility>

namespace vedo::unlha32 {

namespace {

constexpr std::array<std::string_view, EntryCount> EntryNames = {
#define VEDO_ENTRY_NAME(name) #name,
    VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_NAME)
#undef VEDO_ENTRY_NAME
};

// One slot per entry in the table; a mismatch means the X-macro and EntryCount
// have drifted apart.
static_assert(sizeof(ArchiverBinding) == EntryCount * sizeof(void (*)()));

NoticeHook& noticeHook() {
  static NoticeHook hook;
  return hook;
}

void* libraryHandle = nullptr;

void showMissing(Entry entry) {
  std::string text(EntryName(entry));
  text += ": LHA.DLL not loaded.";
  if (const NoticeHook& hook = noticeHook()) {
    hook(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

// The stub that stands in for an entry: same signature as the entry, shows the
// missing-library notice naming it and returns 0. One instance per slot, made
// from the slot's own function type.
template <Entry E, typename Fn>
struct Stub;

template <Entry E, typename R, typename... Args>
struct Stub<E, R (*)(Args...)> {
  static R call(Args...) {
    showMissing(E);
    return R{};
  }
};

ArchiverBinding stubTable() {
  ArchiverBinding table;
#define VEDO_ENTRY_STUB(name) table.name = &Stub<Entry::name, decltype(table.name)>::call;
  VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_STUB)
#undef VEDO_ENTRY_STUB
  return table;
}

const ArchiverBinding& stubs() {
  static const ArchiverBinding table = stubTable();
  return table;
}

// The slot of `entry` as an untyped address, for comparisons only.
const void* slotAddress(const ArchiverBinding& table, Entry entry) {
  switch (entry) {
#define VEDO_ENTRY_CASE(name) \
  case Entry::name:           \
    return reinterpret_cast<const void*>(table.name);
    VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_CASE)
#undef VEDO_ENTRY_CASE
  }
  return nullptr;
}

// The loader's normal search order, then the program's own folder and the lib
// folder beside it. The loader already searches there through the program's
// RUNPATH ($ORIGIN, $ORIGIN/../lib), but not when dlopen is interposed (the
// sanitizer runtimes do that, and then the interposer's RUNPATH applies).
void* openLibrary(const char* name) {
  if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return handle;
  if (std::string_view(name).find('/') != std::string_view::npos) return nullptr;
  std::string self(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= self.size()) return nullptr;
  self.resize(static_cast<std::size_t>(length));
  const std::string folder = self.substr(0, self.rfind('/') + 1);
  for (const std::string& candidate : {folder + name, folder + "../lib/" + name}) {
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return nullptr;
}

}  // namespace

void setNoticeHook(NoticeHook hook) { noticeHook() = std::move(hook); }

ArchiverBinding& Archiver() {
  static ArchiverBinding table = stubs();
  return table;
}

void LoadArchiver(const char* libraryName) {
  // A second load (tests load several libraries in one process) first lets go
  // of the library bound before.
  UnloadArchiver();
  ArchiverBinding& table = Archiver();
  table = stubs();

  libraryHandle = libraryName && *libraryName ? openLibrary(libraryName) : nullptr;
  if (!libraryHandle) return;  // not loaded: every slot keeps its stub, nothing is shown

#define VEDO_ENTRY_BIND(name)                                        \
  if (void* address = dlsym(libraryHandle, #name)) {                 \
    table.name = reinterpret_cast<decltype(table.name)>(address);    \
  }
  VEDO_UNLHA32_ENTRIES(VEDO_ENTRY_BIND)
#undef VEDO_ENTRY_BIND
}

void UnloadArchiver() {
  if (!libraryHandle) return;
  // The stubs go back first: a call that still comes after the release (a late
  // timer during shutdown) shows the notice instead of jumping into unmapped code.
  Archiver() = stubs();
  dlclose(libraryHandle);
  libraryHandle = nullptr;
}

ArchiverBinding StubBinding() { return stubs(); }

bool ArchiverLoaded() { return libraryHandle != nullptr; }

bool HoldsLibraryRoutine(Entry entry) { return HoldsLibraryRoutine(Archiver(), entry); }

bool HoldsLibraryRoutine(const ArchiverBinding& table, Entry entry) {
  const void* slot = slotAddress(table, entry);
  return slot != nullptr && slot != slotAddress(stubs(), entry);
}

std::string_view EntryName(Entry entry) {
  const auto index = static_cast<std::size_t>(entry);
  return index < EntryCount ? EntryNames[index] : std::string_view{};
}

}  // namespace vedo::unlha32
