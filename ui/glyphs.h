#pragma once
// The pictures on the buttons, drawn in code so they stay crisp and need no
// resource files.

#include <QIcon>

namespace vedo::ui {

enum class Glyph {
  Execute,   // a green arrow into a box: start compressing
  Close,     // an open door: leave the program
  Info,      // an "i" in a blue disc: version information
  Folder,    // a yellow folder: choose a file
  Yes,       // a green tick
  No,        // a red cross
  Abort,     // a red stop disc
  Ask,       // a blue question mark: ask every time
  Skip,      // a blue arrow over a line: skip this entry
  Details,   // three sliders: options
};

QIcon glyph(Glyph which);

// The program's own icon (a packed box), also installed for the desktop entry.
QIcon applicationIcon();

}  // namespace vedo::ui
