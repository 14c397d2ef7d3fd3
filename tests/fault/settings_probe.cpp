// fault_settings_probe MODE
//
// Saves the settings file ($XDG_CONFIG_HOME/VEDO.INI) once with values that
// identify the save: Mode=MODE, and an archiver option long enough that the
// file takes more than one write. Exit status 0 when saved, 1 when the save
// was refused. The fault tests kill it at every system call.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/app_state.h"
#include "engine/handler_error.h"
#include "engine/job_fields.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
  if (argc < 2) return 3;
  vedo::AppState state;
  vedo::PlainJobFields fields;
  state.StartedWithArguments = false;
  (void)vedo::LoadSettings(state, fields);
  state.DeleteMode = std::atoi(argv[1]);
  state.UnlhaOption = "-m" + std::string(argv[1]) + std::string(900, 'o');
  fields.setBatchFileName("/batch/" + std::string(argv[1]) + ".vdb");
  try {
    vedo::SaveSettings(state, fields, 100 + state.DeleteMode, 200);
  } catch (const vedo::HandlerError&) {
    std::fputs("refused\n", stderr);
    return 1;
  }
  return 0;
}
