#include "ui/vedo_windows.h"

#include "engine/app_state.h"

namespace vedo::ui {

VedoWindows::VedoWindows(AppState& state, const QStringList& arguments) {
  state.StartedWithArguments = !arguments.isEmpty();
  Form1 = std::make_unique<TForm1>(state, port, arguments);
  AboutBox = std::make_unique<TAboutBox>();
  EXEC_STATE = std::make_unique<TEXEC_STATE>();
  INFO1 = std::make_unique<TINFO1>(state);
  INFO2 = std::make_unique<TINFO2>(state);
  INFO3 = std::make_unique<TINFO3>(state);
  INFO4 = std::make_unique<TINFO4>(state);
  OPT = std::make_unique<TOPT>(state);
  port.attach(forms());
  Form1->attach(forms());
}

VedoWindows::~VedoWindows() {
  // The main window goes last: the others never refer to it, it refers to them.
  OPT.reset();
  INFO4.reset();
  INFO3.reset();
  INFO2.reset();
  INFO1.reset();
  EXEC_STATE.reset();
  AboutBox.reset();
  Form1->attach(FormSet{});
  Form1.reset();
}

FormSet VedoWindows::forms() const {
  return FormSet{AboutBox.get(), EXEC_STATE.get(), INFO1.get(), INFO2.get(), INFO3.get(), INFO4.get(), OPT.get()};
}

}  // namespace vedo::ui
