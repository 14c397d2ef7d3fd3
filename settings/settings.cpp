#include "settings/settings.h"

#include <optional>

#include "engine/app_state.h"
#include "engine/handler_error.h"
#include "engine/job_fields.h"
#include "platform/profile_file.h"
#include "platform/sjis_text.h"
#include "settings/value_encoding.h"

namespace vedo {

namespace {

constexpr const char* kFileName = "VEDO.INI";

// "VEDO.INI に書き込めません." in CP932.
constexpr const char* kRefusedWriteText =
    "VEDO.INI \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1.";

// The archive field's initial text: a field still reading it holds no folder
// worth remembering.
constexpr const char* kInitialArchiveText = ".LZH";

int readInteger(const ProfileFile& ini, const char* section, const char* key, int fallback) {
  const std::optional<std::string> text = ini.readString(section, key);
  if (!text) return fallback;
  return parseIntegerValue(*text).value_or(fallback);
}

bool readFlag(const ProfileFile& ini, const char* section, const char* key, bool fallback) {
  return readInteger(ini, section, key, fallback ? 1 : 0) != 0;
}

std::string readText(const ProfileFile& ini, const char* section, const char* key) {
  return ini.readString(section, key).value_or(std::string());
}

}  // namespace

std::string SettingsFilePath() { return profileFilePath(kFileName); }

MainWindowValues LoadSettings(AppState& state, JobFields& fields) {
  // Reading never fails: a file that is missing or cannot be read reads as
  // empty, and every value then takes its default.
  ProfileFile ini(SettingsFilePath());
  (void)ini.load();

  const bool interactive = !state.StartedWithArguments;
  MainWindowValues window;
  window.left = readInteger(ini, "Options", "Pos(X)", -1);
  window.top = readInteger(ini, "Options", "Pos(Y)", -1);
  // With arguments the command-line run decides both boxes itself; the stored
  // flags are read but not applied. A false flag leaves a box as it is.
  const bool deleteAfter = readFlag(ini, "Options", "Delete", false);
  const bool useBatch = readFlag(ini, "Options", "Batch", false);
  if (interactive) {
    if (deleteAfter) fields.setDeleteAfter(true);
    if (useBatch) fields.setUseBatch(true);
    fields.setBatchFileName(readText(ini, "Options", "BatName"));
    window.sourceFolder = readText(ini, "Files", "T_Path");
    window.archiveFolder = readText(ini, "Files", "L_Path");
  }
  state.ShowBatchProgress = readFlag(ini, "Message", "Visible", true);
  state.BatchConfirm = readFlag(ini, "Message", "Dialogs", true);
  state.DeleteMode = readInteger(ini, "Message", "Mode", 0);
  state.UnlhaOption = readText(ini, "UNLHA", "Option");
  state.UnlhaDialogs = readFlag(ini, "UNLHA", "Dialogs", true);

  state.JobDialogs = state.UnlhaDialogs;
  return window;
}

void SaveSettings(const AppState& state, const JobFields& fields, int left, int top) {
  // The folder parts come from the fields as they are now, before anything is
  // written.
  const std::string source = fields.Source();
  const std::string archive = fields.Target();
  const std::string sourceFolder = sjis::folderPart(source);
  const std::string archiveFolder = sjis::folderPart(archive);

  // The values go into the file as it is on disk now, so that everything else
  // in it survives. A file that exists but cannot be read would be replaced by
  // our keys alone: that is refused like a write.
  ProfileFile ini(SettingsFilePath());
  if (!ini.load()) throw HandlerError(kRefusedWriteText);

  ini.writeString("Options", "Pos(X)", formatIntegerValue(left));
  ini.writeString("Options", "Pos(Y)", formatIntegerValue(top));
  ini.writeString("Options", "Delete", formatFlagValue(fields.DeleteAfter()));
  if (!state.StartedWithArguments) {
    ini.writeString("Options", "Batch", formatFlagValue(fields.UseBatch()));
    ini.writeString("Options", "BatName", fields.BatchFileName());
    if (!source.empty()) ini.writeString("Files", "T_Path", sourceFolder);
    if (archive != kInitialArchiveText) ini.writeString("Files", "L_Path", archiveFolder);
  }
  ini.writeString("Message", "Visible", formatFlagValue(state.ShowBatchProgress));
  ini.writeString("Message", "Dialogs", formatFlagValue(state.BatchConfirm));
  ini.writeString("Message", "Mode", formatIntegerValue(state.DeleteMode));
  ini.writeString("UNLHA", "Option", state.UnlhaOption);
  ini.writeString("UNLHA", "Dialogs", formatFlagValue(state.UnlhaDialogs));

  // All values reach the disk in one rename, or none does: a refused save
  // leaves the whole file as it was.
  if (!ini.save()) throw HandlerError(kRefusedWriteText);
}

}  // namespace vedo
