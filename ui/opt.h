#pragma once
// The options dialog (instance OPT): the archiver switches and progress
// display, the batch progress window, batch notices and the delete mode.

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

#include <vector>

#include "ui/widgets.h"

namespace vedo {
struct AppState;
}

namespace vedo::ui {

// A group box of radio items, one of which (or none) is selected.
class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items);
  // The selected item, -1 when none is.
  int ItemIndex() const;
  // Selects item `index`; a negative index clears the selection, one past the
  // last item selects the last.
  void setItemIndex(int index);
  const std::vector<QRadioButton*>& items() const { return items_; }

 private:
  std::vector<QRadioButton*> items_;
};

class TOPT : public QDialog {
  Q_OBJECT
 public:
  explicit TOPT(AppState& state);

  Panel* Panel1;
  QGroupBox* GBox1;
  QLineEdit* Edit1;      // UnlhaOption
  QCheckBox* CheckBox3;  // UnlhaDialogs
  QGroupBox* GroupBox1;
  QCheckBox* CheckBox1;  // ShowBatchProgress
  QCheckBox* CheckBox2;  // BatchConfirm
  RadioGroup* Group1;    // DeleteMode
  BitBtn* BitBtn2;       // confirm
  BitBtn* BitBtn3;       // cancel

  void FormCreate();
  void FormActivate();
  void BitBtn2Click();
  void BitBtn3Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  AppState& state_;
  bool focusedOnce_ = false;
};

}  // namespace vedo::ui
