#pragma once
// Pictures of every window for the documentation: with VEDO32_SCREENSHOTS set
// to a folder, the program opens each window in turn, saves it as a PNG there
// and exits.

#include <QString>

namespace vedo::ui {
class VedoWindows;
}

namespace vedo::app {

// Returns the process's exit code: 0 when every picture was saved.
int takeScreenshots(ui::VedoWindows& windows, const QString& folder);

}  // namespace vedo::app
