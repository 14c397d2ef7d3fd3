#include "ui/sound_player.h"

#include <canberra.h>
#include <dlfcn.h>

namespace vedo::ui {
namespace {

// ALSA prints every error of its configuration (no sound card, no "default"
// device) on standard error unless the process installs a handler of its own.
// libcanberra's ALSA back end reaches that code on a machine without a sound
// card, so the tool hands ALSA a handler that says nothing: without sound the
// tool is silent, on the speakers and on standard error alike. ALSA is looked
// up at run time, so a machine without it needs nothing here.
void quietAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa() {
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  // Kept loaded for the life of the process: the handler must outlive every
  // use of ALSA, and the library is the one the back end loads anyway.
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
  if (alsa == nullptr) return;
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(&quietAlsaHandler);
}

}  // namespace

std::vector<const char*> soundEventNames(Sound sound) {
  switch (sound) {
    case Sound::Exclamation:
      return {"dialog-warning"};
    case Sound::Asterisk:
      return {"dialog-information"};
    case Sound::Question:
      // The freedesktop theme has no "dialog-question".
      return {"dialog-question", "window-question", "bell"};
  }
  return {};
}

SoundPlayer& soundPlayer() {
  static SoundPlayer player;
  return player;
}

SoundPlayer::SoundPlayer() {
  silenceAlsa();
  if (ca_context_create(&context_) != CA_SUCCESS) {
    context_ = nullptr;
    return;
  }
  ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "VEDO32", CA_PROP_APPLICATION_ID, "vedo32",
                          nullptr);
}

SoundPlayer::~SoundPlayer() {
  if (context_ != nullptr) ca_context_destroy(context_);
}

void SoundPlayer::play(Sound sound) {
  history_.push_back(sound);
  if (context_ == nullptr) return;
  if (!opened_) {
    // Without a sound server the tool stays silent for the rest of the run.
    if (ca_context_open(context_) != CA_SUCCESS) {
      ca_context_destroy(context_);
      context_ = nullptr;
      return;
    }
    opened_ = true;
  }
  for (const char* name : soundEventNames(sound)) {
    int rc = ca_context_play(context_, 0, CA_PROP_EVENT_ID, name, CA_PROP_EVENT_DESCRIPTION, "VEDO32",
                             nullptr);
    if (rc != CA_ERROR_NOTFOUND) return;  // played, or failed for a reason a fallback cannot help
  }
}

}  // namespace vedo::ui
