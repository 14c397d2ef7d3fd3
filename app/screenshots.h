#pragma once
// Pictures of every window for the documentation: opens each window in turn
// and saves it as a PNG in a folder (vedo32_screenshots).

#include <QString>

namespace vedo::ui {
class VedoWindows;
}

namespace vedo::app {

// Returns the process's exit code: 0 when every picture was saved.
int takeScreenshots(ui::VedoWindows& windows, const QString& folder);

}  // namespace vedo::app
