// fault_compress_probe LIBRARY SOURCE ARCHIVE [keep]
//
// One compress job through the engine and the real archiver library, with
// "delete after" ticked (unless "keep"), as the main window runs it: the
// program the fault tests kill and starve. Names are UTF-8 (as the system
// gives them) and go to the engine as CP932. Exit status: 0 when CompressEntry
// returned true, 1 when false, 3 when the job could not be set up. Notices and
// sounds are written to standard error.
#include <cstdio>
#include <string>

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/compress_entry.h"
#include "engine/engine_context.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "platform/cp932.h"

namespace {

using namespace vedo;

// Answers nothing (every prompt leaves its cell alone, as a frame close does)
// and reports what the engine shows.
class StderrPort : public InteractionPort {
 public:
  void playSound(Sound) override {}
  NoticeButton ShowNotice(NoticeKind, unsigned, const std::string& text) override {
    const std::string shown = cp932::toUtf8(text).value_or(text);
    std::fprintf(stderr, "notice: %s\n", shown.c_str());
    return ButtonOk;
  }
  void setConfirmLabels(const std::string&, const std::string&) override {}
  void setSourceNotFoundLabel(const std::string&) override {}
  void setDeleteLabel(const std::string&) override {}
  void showStartQuestion() override {}
  void showConfirmCompress() override {}
  void showSourceNotFound() override { std::fputs("source not found\n", stderr); }
  void showDeleteQuestion() override {}
  void setProgressLabels(const std::string&, const std::string&) override {}
  void showProgressRunningLabel() override {}
  bool progressWindowVisible() const override { return false; }
  void hideProgressWindow() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: fault_compress_probe LIBRARY SOURCE ARCHIVE [keep]\n", stderr);
    return 3;
  }
  const auto source = cp932::fromUtf8(argv[2]);
  const auto archive = cp932::fromUtf8(argv[3]);
  if (!source || !archive) {
    std::fputs("names must be CP932\n", stderr);
    return 3;
  }
  unlha32::setNoticeHook([](const std::string& text) { std::fprintf(stderr, "stub: %s\n", text.c_str()); });
  unlha32::LoadArchiver(argv[1]);
  if (!unlha32::ArchiverLoaded()) {
    std::fputs("cannot load the archiver library\n", stderr);
    return 3;
  }

  AppState state;
  state.JobDialogs = false;  // "-n": the library shows no window of its own
  PlainJobFields fields;
  fields.setSource(*source);
  fields.setTarget(*archive);
  fields.setDeleteAfter(!(argc > 4 && std::string(argv[4]) == "keep"));
  StderrPort port;
  EngineContext ctx{state, fields, port, unlha32::Archiver()};
  const bool done = CompressEntry(ctx);
  unlha32::UnloadArchiver();
  return done ? 0 : 1;
}
