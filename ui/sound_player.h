#pragma once
// The three system sounds, played through libcanberra with the names of the
// freedesktop sound theme. Silent where there is no sound server.

#include "engine/interaction_port.h"

#include <vector>

struct ca_context;

namespace vedo::ui {

class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  void play(Sound sound);

  // Every sound asked for, in order, whether or not it could be heard.
  const std::vector<Sound>& history() const { return history_; }
  void clearHistory() { history_.clear(); }

 private:
  ::ca_context* context_ = nullptr;
  bool opened_ = false;
  std::vector<Sound> history_;
};

// The process's player, which the windows and the window port share.
SoundPlayer& soundPlayer();

// The theme's event names tried in order for a sound; the first one the theme
// holds is played.
std::vector<const char*> soundEventNames(Sound sound);

}  // namespace vedo::ui
