#pragma once
// The progress window of a batch run (instance EXEC_STATE): the running label
// and the paths of the entry being processed. Shown by execute, hidden when a
// batch file has been read to its end.

#include <QLabel>
#include <QWidget>

#include "ui/widgets.h"

namespace vedo::ui {

class TEXEC_STATE : public QWidget {
  Q_OBJECT
 public:
  TEXEC_STATE();

  Panel* Panel1;
  QLabel* Label1;  // "バッチ処理を実行中...." (blinks while the archiver is busy)
  QLabel* Label4;  // "From:"
  QLabel* Label2;  // full source path
  QLabel* Label5;  // " To :"
  QLabel* Label3;  // full archive path

  // Where the window opens until a command-line run moves it.
  static constexpr int kInitialLeft = 792;
  static constexpr int kInitialTop = 570;
};

}  // namespace vedo::ui
