#pragma once
// The main window (instance Form1): the source and archive fields, the delete
// and batch options, execute, the archiver's status, and the placement of the
// other windows. It is also the job fields the engine reads and writes.

#include "engine/job_fields.h"
#include "engine/run_report.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "ui/widgets.h"

class QFileDialog;

namespace vedo {
struct AppState;
class InteractionPort;
}  // namespace vedo

namespace vedo::ui {

class TAboutBox;
class TEXEC_STATE;
class TINFO1;
class TINFO2;
class TINFO3;
class TINFO4;
class TOPT;

// The windows created after the main window, which it places and opens.
struct FormSet {
  TAboutBox* AboutBox = nullptr;
  TEXEC_STATE* EXEC_STATE = nullptr;
  TINFO1* INFO1 = nullptr;
  TINFO2* INFO2 = nullptr;
  TINFO3* INFO3 = nullptr;
  TINFO4* INFO4 = nullptr;
  TOPT* OPT = nullptr;
};

// An edit field holding CP932 text. What the engine wrote is given back byte
// for byte while the field still shows it; what the user typed is converted
// strictly.
class Cp932Field {
 public:
  explicit Cp932Field(QLineEdit* edit) : edit_(edit) {}
  // The field's text in CP932; empty when the user typed text CP932 cannot hold.
  std::string get() const;
  bool representable() const;
  void set(const std::string& bytes);

 private:
  QLineEdit* edit_;
  std::string bytes_;
  QString shown_;
};

class TForm1 : public QWidget, public JobFields {
  Q_OBJECT
 public:
  // `arguments` are the command-line arguments left after the toolkit's own.
  TForm1(AppState& state, InteractionPort& port, QStringList arguments);
  ~TForm1() override;
  void attach(const FormSet& forms) { forms_ = forms; }

  Panel* Panel1;
  QLabel* Label1;
  DropEdit* Edit1;  // Source
  SpeedButton* SpeedButton1;
  Panel* Panel2;
  QLabel* Label2;
  DropEdit* Edit2;  // Target
  SpeedButton* SpeedButton2;
  Panel* Panel3;
  BitBtn* BitBtn1;  // execute
  BitBtn* BitBtn2;  // close
  BitBtn* BitBtn3;  // version box
  Panel* Panel5;
  QGroupBox* GroupBox2;
  QCheckBox* CheckBox1;  // DeleteAfter
  QCheckBox* CheckBox2;  // UseBatch
  QPushButton* Button1;  // options dialog
  QGroupBox* GroupBox3;
  DropEdit* Edit3;  // BatchFileName
  SpeedButton* SpeedButton3;
  QGroupBox* GroupBox1;
  QLabel* Label4;  // "Ver.x.xx :"
  QLabel* Label3;  // status text
  QTimer* Timer1;

  // Handlers.
  void FormCreate();
  void FormActivate();
  // Saves the settings; false (after the error box) when the write was refused.
  bool FormClose();
  void Edit1Change();
  void BitBtn1Click();
  void BitBtn3Click();
  void Button1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void Timer1Timer();

  void StatusPoll();
  // Places the four prompt dialogs at the screen's centre and the options
  // dialog beside this window.
  void PlaceDialogs();

  // The run with exactly one argument (a batch file): minimised, at most one
  // question, then the window closes. Runs at most once per process; does
  // nothing without exactly one argument.
  void CommandLineRun();
  bool commandLineRunStarted() const { return commandLineRunStarted_; }
  // The process's exit status: that of the command-line run (run_report.h),
  // 0 for interactive use.
  int exitStatus() const { return commandLineRunStarted_ ? report_.exitStatus() : ExitDone; }

  const QStringList& arguments() const { return arguments_; }
  const MainWindowValues& windowValues() const { return values_; }

  // JobFields.
  std::string Source() const override { return source_.get(); }
  // Derives the archive name even when the text does not change, as every
  // write of the source does.
  void setSource(const std::string& text) override;
  std::string Target() const override { return target_.get(); }
  void setTarget(const std::string& text) override { target_.set(text); }
  bool DeleteAfter() const override { return CheckBox1->isChecked(); }
  void setDeleteAfter(bool on) override { CheckBox1->setChecked(on); }
  std::string BatchFileName() const override { return batchFile_.get(); }
  void setBatchFileName(const std::string& text) override { batchFile_.set(text); }
  bool UseBatch() const override { return CheckBox2->isChecked(); }
  void setUseBatch(bool on) override { CheckBox2->setChecked(on); }

  // Runs a file chooser; tests replace it to inspect the dialog and answer it.
  // Returns the chosen file, or an empty string when the user cancelled.
  static std::function<QString(QFileDialog& dialog)> fileDialogRunner;

 signals:
  // The main window has closed and saved its settings: the application ends.
  void applicationEnd();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QString chooseFile(const QString& title, const QStringList& filters, const QString& defaultSuffix,
                     const QString& initialFolder);
  // Refuses, with an error notice, fields the job would read whose text CP932
  // cannot hold.
  bool fieldsRepresentable();

  AppState& state_;
  InteractionPort& port_;
  QStringList arguments_;
  MainWindowValues values_;
  FormSet forms_;
  Cp932Field source_;
  Cp932Field target_;
  Cp932Field batchFile_;
  bool polling_ = false;
  bool commandLineRunStarted_ = false;
  bool lastExecuteFailed_ = false;  // the last execute ended in the error box
  // What the command-line run left undone; one line on standard error each.
  RunReport report_;
};

// The archive name for a source that CP932 cannot hold (shown only; such a
// source is refused at execute): the same rule, applied to characters.
QString deriveArchiveNameForDisplay(const QString& source);

}  // namespace vedo::ui
