#include "ui/opt.h"

#include "engine/app_state.h"

#include <QButtonGroup>
#include <QKeyEvent>

#include "ui/form_base.h"
#include "ui/glyphs.h"
#include "ui/notice_box.h"
#include "ui/ui_text.h"

namespace vedo::ui {

RadioGroup::RadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items)
    : QGroupBox(caption, parent) {
  setObjectName(QString::fromLatin1(name));
  setAccessibleName(caption.trimmed());
  const int step = 17;
  for (qsizetype i = 0; i < items.size(); ++i) {
    auto* radio = new QRadioButton(items[i], this);
    radio->setObjectName(QStringLiteral("%1Item%2").arg(objectName()).arg(i));
    radio->setGeometry(8, 15 + int(i) * step, 180, step);
    items_.push_back(radio);
  }
}

int RadioGroup::ItemIndex() const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->isChecked()) return int(i);
  return -1;
}

void RadioGroup::setItemIndex(int index) {
  if (items_.empty()) return;
  if (index < 0) {
    // Radio buttons of one parent exclude each other; lift that to clear them.
    for (QRadioButton* r : items_) r->setAutoExclusive(false);
    for (QRadioButton* r : items_) r->setChecked(false);
    for (QRadioButton* r : items_) r->setAutoExclusive(true);
    return;
  }
  if (index >= int(items_.size())) index = int(items_.size()) - 1;
  items_[std::size_t(index)]->setChecked(true);
}

TOPT::TOPT(AppState& state)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      state_(state) {
  setObjectName(QStringLiteral("OPT"));
  setWindowTitle(QStringLiteral("詳細設定"));
  setModal(true);
  setFont(pGothicFont(12, false));
  setFixedSize(318, 238);

  Panel1 = new Panel(this, "Panel1");
  Panel1->setGeometry(2, 2, 313, 233);

  GBox1 = new QGroupBox(QStringLiteral(" UNLHA32.DLL "), Panel1);
  GBox1->setObjectName(QStringLiteral("GBox1"));
  GBox1->setGeometry(4, 6, 219, 65);
  Edit1 = new QLineEdit(GBox1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(6, 14, 207, 20);
  Edit1->setAccessibleName(QStringLiteral("UNLHA32.DLL"));
  CheckBox3 = new QCheckBox(QStringLiteral("進行状況のダイヤログを表示する"), GBox1);
  CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
  CheckBox3->setGeometry(12, 42, 191, 17);

  GroupBox1 = new QGroupBox(QStringLiteral(" VEDO32.EXE"), Panel1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(4, 76, 219, 151);
  CheckBox1 = new QCheckBox(QStringLiteral("バッチ処理の進行状況を表示"), GroupBox1);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setGeometry(12, 14, 179, 21);
  CheckBox2 = new QCheckBox(QStringLiteral("バッチ処理で確認メッセージを表示"), GroupBox1);
  CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
  CheckBox2->setGeometry(12, 34, 205, 21);
  Group1 = new RadioGroup(GroupBox1, "Group1", QStringLiteral(" 動作モード "),
                          {QStringLiteral("処理開始時に指定する。"), QStringLiteral("元ファイルを削除する。"),
                           QStringLiteral("元ファイルを残す。"), QStringLiteral("処理毎に選択する。")});
  Group1->setGeometry(12, 58, 193, 85);

  BitBtn2 = new BitBtn(Panel1, "BitBtn2", QStringLiteral(" Ｏ    Ｋ"), glyph(Glyph::Yes));
  BitBtn2->setGeometry(230, 12, 75, 23);
  BitBtn3 = new BitBtn(Panel1, "BitBtn3", QStringLiteral("ｷｬﾝｾﾙ"), glyph(Glyph::No));
  BitBtn3->setGeometry(230, 42, 75, 23);

  QWidget* order[] = {BitBtn2, Edit1, CheckBox3, Group1->items()[0], Group1->items()[1], Group1->items()[2],
                      Group1->items()[3], CheckBox1, CheckBox2, BitBtn3};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(BitBtn2, &QPushButton::clicked, this, &TOPT::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TOPT::BitBtn3Click);
  FormCreate();
}

void TOPT::FormCreate() { CheckBox3->setChecked(state_.UnlhaDialogs); }

void TOPT::FormActivate() {
  CheckBox1->setChecked(state_.ShowBatchProgress);
  CheckBox2->setChecked(state_.BatchConfirm);
  Group1->setItemIndex(state_.DeleteMode);
  Edit1->setText(fromCp932(state_.UnlhaOption));
}

void TOPT::BitBtn2Click() {
  // The switches go into every archiver command as CP932; text that CP932
  // cannot hold is refused before anything is stored.
  auto option = toCp932(Edit1->text());
  if (!option) {
    showNotice(NoticeKind::Error, ButtonOk, unrepresentableTextNotice());
    Edit1->setFocus(Qt::OtherFocusReason);
    return;
  }
  state_.ShowBatchProgress = CheckBox1->isChecked();
  state_.BatchConfirm = CheckBox2->isChecked();
  state_.DeleteMode = Group1->ItemIndex();
  state_.UnlhaOption = *option;
  state_.UnlhaDialogs = CheckBox3->isChecked();
  state_.JobDialogs = state_.UnlhaDialogs;
  done(QDialog::Accepted);
}

void TOPT::BitBtn3Click() { done(QDialog::Rejected); }

void TOPT::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
  if (!focusedOnce_) {
    BitBtn2->setFocus(Qt::OtherFocusReason);
    focusedOnce_ = true;
  }
}

void TOPT::hideEvent(QHideEvent* event) {
  ActiveForm::hidden(this);
  QDialog::hideEvent(event);
}

void TOPT::keyPressEvent(QKeyEvent* event) {
  // Neither button is a default or a cancel button: Enter and Escape act only
  // through the focused button itself.
  const int key = event->key();
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace vedo::ui
