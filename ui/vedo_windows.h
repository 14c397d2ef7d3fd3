#pragma once
// All windows of the tool, created once in start-up order and kept until the
// end: the main window (which reads the settings), the version box, the
// progress window, the four prompt dialogs and the options dialog.

#include <QStringList>

#include <memory>

#include "ui/about_box.h"
#include "ui/exec_state.h"
#include "ui/form1.h"
#include "ui/opt.h"
#include "ui/prompt_dialogs.h"
#include "ui/window_port.h"

namespace vedo::ui {

class VedoWindows {
 public:
  // `arguments` are the command-line arguments after the toolkit's own.
  VedoWindows(AppState& state, const QStringList& arguments);
  ~VedoWindows();

  FormSet forms() const;

  WindowPort port;
  std::unique_ptr<TForm1> Form1;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TEXEC_STATE> EXEC_STATE;
  std::unique_ptr<TINFO1> INFO1;
  std::unique_ptr<TINFO2> INFO2;
  std::unique_ptr<TINFO3> INFO3;
  std::unique_ptr<TINFO4> INFO4;
  std::unique_ptr<TOPT> OPT;
};

}  // namespace vedo::ui
