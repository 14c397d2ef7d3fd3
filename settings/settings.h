#pragma once
// The settings file "VEDO.INI": read once while the main window is created,
// written once when it closes.

#include <string>

namespace vedo {

struct AppState;
class JobFields;

// Values of the settings file that belong to the main window itself.
struct MainWindowValues {
  int left = -1;              // "Options" / "Pos(X)"
  int top = -1;               // "Options" / "Pos(Y)"
  std::string sourceFolder;   // "Files" / "T_Path": initial folder of the source chooser
  std::string archiveFolder;  // "Files" / "L_Path": initial folder of the archive chooser
};

// Where the settings file lives: $XDG_CONFIG_HOME/VEDO.INI, or ~/.config/VEDO.INI.
std::string SettingsFilePath();

// Reads the file into `state` and `fields` (honouring state.StartedWithArguments)
// and returns the window's values; then sets JobDialogs from UnlhaDialogs.
// Never fails: missing or malformed values give the defaults.
MainWindowValues LoadSettings(AppState& state, JobFields& fields);

// Writes the settings back. `left` and `top` are the main window's edges (as
// restored, when minimised). A refused write throws HandlerError with
// "VEDO.INI に書き込めません." and leaves the file on disk unchanged.
void SaveSettings(const AppState& state, const JobFields& fields, int left, int top);

}  // namespace vedo
