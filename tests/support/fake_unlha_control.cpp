#include "tests/support/fake_unlha.h"

#include <dlfcn.h>

#include <stdexcept>

namespace vedo::test {

std::string fakeUnlhaPath() { return VEDO_FAKE_UNLHA_PATH; }
std::string fakeUnlhaNoRunningPath() { return VEDO_FAKE_UNLHA_NO_RUNNING_PATH; }
std::string missingLibraryName() { return "libvedo_no_such_archiver.so"; }

FakeUnlha::FakeUnlha(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error(std::string("cannot open ") + path + ": " + dlerror());
  reset();
}

FakeUnlha::~FakeUnlha() {
  if (handle_) dlclose(handle_);
}

template <typename Fn>
Fn FakeUnlha::entry(const char* name) const {
  void* address = dlsym(handle_, name);
  if (!address) throw std::runtime_error(std::string("stand-in library lacks ") + name);
  return reinterpret_cast<Fn>(address);
}

void FakeUnlha::reset() const { entry<void (*)()>("FakeUnlhaReset")(); }
int FakeUnlha::callCount() const { return entry<int (*)()>("FakeUnlhaCallCount")(); }
std::string FakeUnlha::lastCommand() const {
  return entry<const char* (*)()>("FakeUnlhaLastCommand")();
}
void* FakeUnlha::lastOwner() const { return entry<void* (*)()>("FakeUnlhaLastOwner")(); }
std::uint32_t FakeUnlha::lastSize() const {
  return entry<std::uint32_t (*)()>("FakeUnlhaLastSize")();
}
void FakeUnlha::setResult(int result) const { entry<void (*)(int)>("FakeUnlhaSetResult")(result); }
void FakeUnlha::setRunning(int running) const {
  entry<void (*)(int)>("FakeUnlhaSetRunning")(running);
}
void FakeUnlha::setVersion(int version) const {
  entry<void (*)(int)>("FakeUnlhaSetVersion")(version);
}
void FakeUnlha::setWriteArchive(bool on) const {
  entry<void (*)(int)>("FakeUnlhaSetWriteArchive")(on ? 1 : 0);
}
void FakeUnlha::setAction(Action action, void* context) const {
  entry<void (*)(Action, void*)>("FakeUnlhaSetAction")(action, context);
}

}  // namespace vedo::test
