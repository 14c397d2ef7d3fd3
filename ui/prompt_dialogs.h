#pragma once
// The four prompt dialogs: the start question, the confirmation before a
// compress entry, the source-not-found question and the delete question. Each
// writes its answer cell of AppState and closes.

#include <QLabel>

#include "ui/form_base.h"
#include "ui/widgets.h"

namespace vedo::ui {

// The start question (instance INFO1); writes StartAnswer.
class TINFO1 : public PromptDialog {
  Q_OBJECT
 public:
  explicit TINFO1(AppState& state);

  QLabel* Label1;
  QLabel* Label2;
  BitBtn* BitBtn2;  // は い: delete the sources
  BitBtn* BitBtn3;  // いいえ: keep them
  BitBtn* BitBtn1;  // 毎回確認: ask for each job
  BitBtn* BitBtn4;  // 中止: abort

  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();

 protected:
  void takeAbortAnswer() override;
  QString questionAndEntry() const override;
};

// The confirmation before compressing (instance INFO2); writes EntryAnswer.
class TINFO2 : public PromptDialog {
  Q_OBJECT
 public:
  explicit TINFO2(AppState& state);

  Panel* Panel1;
  QLabel* Label1;
  Panel* Panel2;
  QLabel* Label4;  // "From:"
  QLabel* Label2;  // full source path
  QLabel* Label5;  // " To :"
  QLabel* Label3;  // full archive path
  Panel* Panel3;
  BitBtn* BitBtn3;  // Ｏ Ｋ
  BitBtn* BitBtn2;  // スキップ
  BitBtn* BitBtn1;  // 中 断

  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();

 protected:
  void takeAbortAnswer() override;
  QString questionAndEntry() const override;
};

// The source-not-found question (instance INFO3); writes EntryAnswer.
class TINFO3 : public PromptDialog {
  Q_OBJECT
 public:
  explicit TINFO3(AppState& state);

  Panel* Panel1;
  QLabel* Label1;
  Panel* Panel2;
  QLabel* Label2;  // full source path
  Panel* Panel3;
  BitBtn* BitBtn2;  // スキップ
  BitBtn* BitBtn1;  // 中 断

  void BitBtn1Click();
  void BitBtn2Click();

 protected:
  void takeAbortAnswer() override;
  QString questionAndEntry() const override;
};

// The delete question (instance INFO4); writes DeleteAnswer.
class TINFO4 : public PromptDialog {
  Q_OBJECT
 public:
  explicit TINFO4(AppState& state);

  Panel* Panel1;
  QLabel* Label1;
  Panel* Panel2;
  QLabel* Label2;  // full source path
  Panel* Panel3;
  BitBtn* BitBtn2;  // いいえ
  BitBtn* BitBtn1;  // は い

  void BitBtn1Click();
  void BitBtn2Click();

 protected:
  // いいえ, and the run stops.
  void takeAbortAnswer() override;
  QString questionAndEntry() const override;
};

// What the frame of a sizeable dialog takes of its outer size: a dialog listed
// by its outer size opens with a client area this much smaller.
inline constexpr int kFrameWidth = 8;
inline constexpr int kFrameHeight = 27;

}  // namespace vedo::ui
