#include "ui/form1.h"

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/batch_runner.h"
#include "engine/compress_entry.h"
#include "engine/derive_archive_name.h"
#include "engine/engine_context.h"
#include "engine/handler_error.h"
#include "engine/interaction_port.h"
#include "platform/cp932.h"
#include "platform/full_path.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <vector>

#include "ui/about_box.h"
#include "ui/exec_state.h"
#include "ui/form_base.h"
#include "ui/glyphs.h"
#include "ui/notice_box.h"
#include "ui/opt.h"
#include "ui/prompt_dialogs.h"
#include "ui/sound_player.h"
#include "ui/ui_text.h"

namespace vedo::ui {

std::function<QString(QFileDialog& dialog)> TForm1::fileDialogRunner;

std::string Cp932Field::get() const {
  if (edit_->text() == shown_) return bytes_;
  auto bytes = toCp932(edit_->text());
  return bytes ? *bytes : std::string();
}

bool Cp932Field::representable() const { return edit_->text() == shown_ || toCp932(edit_->text()).has_value(); }

void Cp932Field::set(const std::string& bytes) {
  // Remember the bytes before the text changes: the change handler reads them.
  bytes_ = bytes;
  shown_ = fromCp932(bytes);
  edit_->setText(shown_);
}

QString deriveArchiveNameForDisplay(const QString& source) {
  QString x = source;
  const qsizetype nameStart = std::max(x.lastIndexOf(u'/'), x.lastIndexOf(u'\\')) + 1;
  const qsizetype star = x.indexOf(u'*');
  const qsizetype dot = x.indexOf(u'.', nameStart);
  if (star >= 0 && dot > star) x = x.left(nameStart) + QStringLiteral("ALLFILE");
  if (const qsizetype first = x.indexOf(u'.', nameStart); first >= 0) x.remove(first, 255);
  return x + QStringLiteral(".LZH");
}

namespace {

QSize screenSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
}

const QString kTitle = QStringLiteral("VEDO32.EXE");

}  // namespace

TForm1::TForm1(AppState& state, InteractionPort& port, QStringList arguments)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state),
      port_(port),
      arguments_(std::move(arguments)),
      source_(nullptr),
      target_(nullptr),
      batchFile_(nullptr),
      report_([](const std::string& line) { printDiagnostic(line); }) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kTitle);
  setWindowIcon(applicationIcon());
  setFixedSize(436, 131);
  setFont(gothicFont(13, true));
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::black);
  setPalette(pal);

  Panel1 = new Panel(this, "Panel1");
  Panel1->setGeometry(0, 2, 241, 45);
  Label1 = makeLabel(Panel1, "Label1", QStringLiteral("対象ファイル名："), 4, 4);
  Edit1 = new DropEdit(Panel1, "Edit1");
  Edit1->setGeometry(4, 20, 209, 21);
  Edit1->setAccessibleName(QStringLiteral("対象ファイル名"));
  SpeedButton1 = new SpeedButton(Panel1, "SpeedButton1", glyph(Glyph::Folder));
  SpeedButton1->setGeometry(216, 20, 20, 19);
  SpeedButton1->setToolTip(QStringLiteral("対象ファイル検索"));
  SpeedButton1->setAccessibleName(SpeedButton1->toolTip());

  Panel2 = new Panel(this, "Panel2");
  Panel2->setGeometry(0, 48, 241, 47);
  Label2 = makeLabel(Panel2, "Label2", QStringLiteral("圧縮ファイル名："), 4, 4);
  Edit2 = new DropEdit(Panel2, "Edit2");
  Edit2->setGeometry(4, 22, 209, 21);
  Edit2->setAccessibleName(QStringLiteral("圧縮ファイル名"));
  SpeedButton2 = new SpeedButton(Panel2, "SpeedButton2", glyph(Glyph::Folder));
  SpeedButton2->setGeometry(216, 22, 20, 19);
  SpeedButton2->setToolTip(QStringLiteral("圧縮先ファイル検索"));
  SpeedButton2->setAccessibleName(SpeedButton2->toolTip());

  Panel3 = new Panel(this, "Panel3", Bevel::Raised, Bevel::Lowered);
  Panel3->setGeometry(0, 96, 241, 33);
  BitBtn1 = new BitBtn(Panel3, "BitBtn1", QStringLiteral("実行(&G)"), glyph(Glyph::Execute));
  BitBtn1->setGeometry(8, 6, 80, 22);
  BitBtn1->setToolTip(QStringLiteral("圧縮開始"));
  BitBtn2 = new BitBtn(Panel3, "BitBtn2", QStringLiteral("終了(&C)"), glyph(Glyph::Close));
  BitBtn2->setGeometry(99, 6, 80, 22);
  BitBtn2->setToolTip(QStringLiteral("終了"));
  BitBtn3 = new BitBtn(Panel3, "BitBtn3", QString(), glyph(Glyph::Info));
  BitBtn3->setGeometry(206, 6, 27, 22);
  BitBtn3->setToolTip(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  BitBtn3->setAccessibleName(BitBtn3->toolTip());

  Panel5 = new Panel(this, "Panel5");
  Panel5->setGeometry(242, 2, 193, 127);
  GroupBox2 = new QGroupBox(QStringLiteral(" オプション "), Panel5);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setGeometry(4, 2, 187, 89);
  CheckBox1 = new QCheckBox(QStringLiteral("圧縮後に削除する"), GroupBox2);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setGeometry(4, 16, 141, 17);
  CheckBox2 = new QCheckBox(QStringLiteral("バッチ処理を使う"), GroupBox2);
  CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
  CheckBox2->setGeometry(4, 36, 133, 17);
  Button1 = new QPushButton(QStringLiteral("詳細"), GroupBox2);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(144, 36, 37, 17);
  Button1->setFocusPolicy(Qt::ClickFocus);
  Button1->setFont(gothicFont(13, false));
  Button1->setAutoDefault(false);
  GroupBox3 = new QGroupBox(GroupBox2);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  GroupBox3->setGeometry(4, 54, 177, 29);
  Edit3 = new DropEdit(GroupBox3, "Edit3");
  Edit3->setGeometry(2, 8, 147, 20);
  Edit3->setAccessibleName(QStringLiteral("バッチ処理ファイル"));
  Edit3->hide();
  SpeedButton3 = new SpeedButton(GroupBox3, "SpeedButton3", glyph(Glyph::Folder));
  SpeedButton3->setGeometry(152, 8, 20, 19);
  SpeedButton3->setToolTip(QStringLiteral("ファイル指定"));
  SpeedButton3->setAccessibleName(SpeedButton3->toolTip());
  SpeedButton3->hide();

  GroupBox1 = new QGroupBox(QStringLiteral(" unlha32.DLL情報 "), Panel5);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(4, 92, 187, 33);
  Label4 = makeLabel(GroupBox1, "Label4", QStringLiteral("Ver."), 12, 16);
  Label3 = makeLabel(GroupBox1, "Label3", QString(), 100, 16);
  Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(300);

  source_ = Cp932Field(Edit1);
  target_ = Cp932Field(Edit2);
  batchFile_ = Cp932Field(Edit3);
  setTarget(".LZH");

  QWidget* order[] = {Edit1, Edit2, BitBtn1, BitBtn2, BitBtn3, CheckBox1, CheckBox2, Edit3};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  Edit1->setFocus(Qt::OtherFocusReason);

  connect(Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &QWidget::close);
  connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  FormCreate();
  Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  values_ = LoadSettings(state_, *this);
  move(values_.left, values_.top);
  const int version = unlha32::Archiver().UnlhaGetVersion();
  Label4->setText(QStringLiteral("Ver.") + formatLibraryVersion(version) + QStringLiteral(" :"));
  Label4->adjustSize();
}

void TForm1::FormActivate() {
  PlaceDialogs();
  if (arguments_.size() == 1) CommandLineRun();
}

void TForm1::PlaceDialogs() {
  const QSize screen = screenSize();
  const int h = screen.height() / 2;
  const int w = screen.width() / 2;
  for (QWidget* dialog : std::initializer_list<QWidget*>{forms_.INFO1, forms_.INFO2, forms_.INFO3, forms_.INFO4})
    if (dialog != nullptr) dialog->move(w - 172, h - 51);
  if (forms_.OPT != nullptr) forms_.OPT->move(x() + 50, y() + 50);
}

bool TForm1::FormClose() {
  try {
    SaveSettings(state_, *this, x(), y());
  } catch (const HandlerError& error) {
    // The close is abandoned: the window stays open and closing it again
    // retries the whole save.
    showErrorBox(error.text());
    return false;
  }
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FormClose()) {
    event->ignore();
    return;
  }
  Timer1->stop();
  event->accept();
  emit applicationEnd();
}

bool TForm1::event(QEvent* event) {
  // A minimised window is not one the user works in: its activation neither
  // moves the dialogs nor counts as the window becoming active.
  if (event->type() == QEvent::WindowActivate && !isMinimized() && ActiveForm::activated(this)) FormActivate();
  if (event->type() == QEvent::Hide) ActiveForm::hidden(this);
  return QWidget::event(event);
}

void TForm1::setSource(const std::string& text) {
  const QString before = Edit1->text();
  source_.set(text);
  if (Edit1->text() == before) Edit1Change();
}

void TForm1::Edit1Change() {
  if (source_.representable()) {
    setTarget(vedo::DeriveArchiveName(source_.get()));
  } else {
    Edit2->setText(deriveArchiveNameForDisplay(Edit1->text()));
  }
}

bool TForm1::fieldsRepresentable() {
  std::vector<std::pair<const Cp932Field*, QLineEdit*>> fields;
  if (UseBatch())
    fields = {{&batchFile_, Edit3}};
  else
    fields = {{&source_, Edit1}, {&target_, Edit2}};
  for (const auto& [field, edit] : fields) {
    if (!field->representable()) {
      showNotice(NoticeKind::Error, ButtonOk, unrepresentableTextNotice());
      edit->setFocus(Qt::OtherFocusReason);
      return false;
    }
  }
  return true;
}

void TForm1::BitBtn1Click() {
  lastExecuteFailed_ = false;
  if (!fieldsRepresentable()) return;
  if (state_.StartedWithArguments && state_.ShowBatchProgress && forms_.EXEC_STATE != nullptr &&
      !arguments_.isEmpty()) {
    const QString first = arguments_.front();
    const qsizetype sep = std::max(first.lastIndexOf(u'/'), first.lastIndexOf(u'\\'));
    forms_.EXEC_STATE->setWindowTitle(first.mid(sep + 1) + QStringLiteral(" - ") + kTitle);
    forms_.EXEC_STATE->show();
  }
  EngineContext ctx{state_, *this, port_, unlha32::Archiver(), commandLineRunStarted_ ? &report_ : nullptr};
  try {
    if (UseBatch()) {
      RunBatchFile(ctx);
    } else if (RunSingleJob(ctx)) {
      port_.playSound(Sound::Asterisk);
      port_.ShowNotice(NoticeKind::Information, ButtonOk, cp932::fixed("圧縮処理が終了しました"));
    }
  } catch (const HandlerError& error) {
    lastExecuteFailed_ = true;
    if (ctx.report != nullptr) ctx.report->fileUnreadable();
    showErrorBox(error.text());
  }
}

void TForm1::BitBtn3Click() {
  if (forms_.AboutBox == nullptr) return;
  forms_.AboutBox->move(x() + 150, y() + 50);
  forms_.AboutBox->exec();
}

void TForm1::Button1Click() {
  if (forms_.OPT != nullptr) forms_.OPT->exec();
}

QString TForm1::chooseFile(const QString& title, const QStringList& filters, const QString& defaultSuffix,
                           const QString& initialFolder) {
  QFileDialog dialog(this, title);
  dialog.setObjectName(QStringLiteral("OpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A typed name of a file that does not exist is accepted.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(filters);
  if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
  dialog.setDirectory(initialFolder.isEmpty() ? QDir::currentPath() : initialFolder);
  QString chosen;
  if (fileDialogRunner) {
    chosen = fileDialogRunner(dialog);
  } else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    chosen = dialog.selectedFiles().front();
  }
  // The chosen file's folder becomes the current folder, which relative batch
  // entries and full paths then use.
  if (!chosen.isEmpty()) QDir::setCurrent(QFileInfo(chosen).absolutePath());
  return chosen;
}

void TForm1::SpeedButton1Click() {
  QString file = chooseFile(QStringLiteral("対象ファイルの指定"),
                            {QStringLiteral("全てのファイル(*.*) (*)"), QStringLiteral("ログファイル (*.LOG) (*.log)"),
                             QStringLiteral("Textファイル (*.TXT) (*.txt)")},
                            QString(), fromCp932(values_.sourceFolder));
  if (!file.isEmpty()) Edit1->setText(file);
}

void TForm1::SpeedButton2Click() {
  QString file = chooseFile(QStringLiteral("圧縮先の指定"), {QStringLiteral("圧縮ファイル (*.LZH)")},
                            QStringLiteral("LZH"), fromCp932(values_.archiveFolder));
  if (!file.isEmpty()) Edit2->setText(file);
}

void TForm1::SpeedButton3Click() {
  QString file = chooseFile(QStringLiteral("バッチ処理ファイル指定"), {QStringLiteral("ﾊﾞｯﾁ処理ﾌｧｲﾙ(*.VDB) (*.VDB)")},
                            QStringLiteral("VDB"), QString());
  if (!file.isEmpty()) Edit3->setText(file);
}

void TForm1::Timer1Timer() { StatusPoll(); }

void TForm1::StatusPoll() {
  // A poll that raises the missing-library notice must not raise another while
  // that notice's own event loop keeps the timer running.
  if (polling_ || panicNoticeOpen()) return;
  polling_ = true;
  if (unlha32::Archiver().UnlhaGetRunning() != 0) {
    Label3->setText(QStringLiteral("実行中..."));
    Label3->setVisible(Label3->isHidden());
    if (forms_.EXEC_STATE != nullptr && forms_.EXEC_STATE->isVisible())
      forms_.EXEC_STATE->Label1->setVisible(forms_.EXEC_STATE->Label1->isHidden());
  } else {
    Label3->setText(QStringLiteral("待機中...."));
    Label3->setVisible(true);
  }
  Label3->adjustSize();
  Edit3->setVisible(CheckBox2->isChecked());
  SpeedButton3->setVisible(CheckBox2->isChecked());
  polling_ = false;
}

void TForm1::CommandLineRun() {
  if (commandLineRunStarted_ || arguments_.size() != 1) return;
  commandLineRunStarted_ = true;
  const QString argument = arguments_.front();

  showMinimized();
  if (forms_.EXEC_STATE != nullptr) forms_.EXEC_STATE->move(2, 2);

  auto path = toCp932(argument);
  if (!path) {
    report_.fileUnreadable();
    showNotice(NoticeKind::Error, ButtonOk, unrepresentableTextNotice());
    close();
    return;
  }
  setUseBatch(true);
  setBatchFileName(fullPath(*path));

  const QSize screen = screenSize();
  const int h = screen.height() / 2;
  const int w = screen.width() / 2;
  const QString caption = argument + QStringLiteral(" - ") + kTitle;
  const struct {
    QWidget* dialog;
    int top;
  } places[] = {{forms_.INFO1, h - 52}, {forms_.INFO2, h - 66}, {forms_.INFO3, h - 57}, {forms_.INFO4, h - 57}};
  for (const auto& place : places) {
    if (place.dialog == nullptr) continue;
    place.dialog->move(w - 173, place.top);
    place.dialog->setWindowTitle(caption);
  }

  state_.EntryCommand = EntryPlain;
  switch (state_.DeleteMode) {
    case 1:
      state_.StartAnswer = StartDelete;
      break;
    case 2:
      state_.StartAnswer = StartKeep;
      break;
    case 3:
      state_.StartAnswer = StartAskEach;
      break;
    default:
      break;
  }
  if (state_.DeleteMode < 1 || state_.DeleteMode > 3 || state_.BatchConfirm) {
    port_.playSound(Sound::Asterisk);
    port_.showStartQuestion();
  }

  switch (state_.StartAnswer) {
    case StartKeep:
      setDeleteAfter(false);
      BitBtn1Click();
      break;
    case StartDelete:
      setDeleteAfter(true);
      BitBtn1Click();
      break;
    case StartAskEach:
      BitBtn1Click();
      break;
    default:
      report_.failed(cp932::fixed("バッチ処理を実行せずに終了します"));
      break;
  }
  // An error of the system on the batch file leaves the tool running,
  // minimised, until the user closes it; where no one could close it, it ends.
  if (lastExecuteFailed_ && !unattended()) return;
  close();
}

}  // namespace vedo::ui
