#include "ui/prompt_dialogs.h"

#include "engine/app_state.h"

#include "ui/glyphs.h"
#include "ui/ui_text.h"

namespace vedo::ui {
namespace {

const QString kCaption = QStringLiteral("VEDO32.EXE");

QSize clientOfOuter(int width, int height) { return QSize(width - kFrameWidth, height - kFrameHeight); }

QLabel* questionLabel(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold) {
  QLabel* label = makeLabel(parent, name, text, 0, 0);
  label->setFont(gothicFont(15, bold));
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* pathCaption(QWidget* parent, const char* name, const QString& text, int left, int top) {
  QLabel* label = makeLabel(parent, name, text, 0, 0);
  label->setFont(gothicFont(13, false));
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* pathLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& accessible) {
  QLabel* label = makeFixedLabel(parent, name, QString(), geometry);
  label->setFont(gothicFont(13, false));
  label->setAccessibleName(accessible);
  return label;
}

BitBtn* button(QWidget* parent, const char* name, const char* caption, Glyph g, const QRect& geometry) {
  auto* b = new BitBtn(parent, name, QString::fromUtf8(caption), glyph(g));
  b->setGeometry(geometry);
  return b;
}

}  // namespace

TINFO1::TINFO1(AppState& state)
    : PromptDialog(state, "INFO1", kCaption + QStringLiteral(" "), clientOfOuter(345, 103), false) {
  Label1 = questionLabel(this, "Label1", QStringLiteral("ファイルの圧縮を行います。"), 20, 6, false);
  Label2 = questionLabel(this, "Label2", QStringLiteral("圧縮後，対象ファイルを削除しますか？"), 44, 24, false);
  BitBtn2 = button(this, "BitBtn2", "は い (&Y)", Glyph::Yes, QRect(8, 48, 75, 23));
  BitBtn3 = button(this, "BitBtn3", "いいえ (&N)", Glyph::No, QRect(86, 48, 75, 23));
  BitBtn1 = button(this, "BitBtn1", "毎回確認(&C)", Glyph::Ask, QRect(166, 48, 85, 23));
  BitBtn4 = button(this, "BitBtn4", "中止 (&A)", Glyph::Abort, QRect(256, 48, 75, 23));
  setTabOrder(BitBtn4, BitBtn2);
  setTabOrder(BitBtn2, BitBtn3);
  setTabOrder(BitBtn3, BitBtn1);
  setFirstButton(BitBtn4);
  connect(BitBtn1, &QPushButton::clicked, this, &TINFO1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TINFO1::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TINFO1::BitBtn3Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TINFO1::BitBtn4Click);
}

void TINFO1::BitBtn1Click() { answer(state_.StartAnswer, StartAskEach); }
void TINFO1::BitBtn2Click() { answer(state_.StartAnswer, StartDelete); }
void TINFO1::BitBtn3Click() { answer(state_.StartAnswer, StartKeep); }
void TINFO1::BitBtn4Click() { abortSequence(state_.StartAnswer, StartAbort); }
void TINFO1::takeAbortAnswer() { state_.StartAnswer = StartAbort; }
// The caption names the batch file in a command-line run.
QString TINFO1::questionAndEntry() const {
  return Label1->text() + Label2->text() + QStringLiteral(" (") + windowTitle() + QStringLiteral(")");
}

TINFO2::TINFO2(AppState& state) : PromptDialog(state, "INFO2", kCaption, clientOfOuter(345, 131), true) {
  Panel1 = new Panel(this, "Panel1");
  Panel1->setGeometry(2, 2, 334, 100);
  Label1 = questionLabel(Panel1, "Label1", QStringLiteral("次の条件で，圧縮処理を実行します。"), 6, 4, true);
  Panel2 = new Panel(Panel1, "Panel2", Bevel::Lowered);
  Panel2->setGeometry(4, 22, 327, 42);
  Label4 = pathCaption(Panel2, "Label4", QStringLiteral("From:"), 4, 5);
  Label2 = pathLabel(Panel2, "Label2", QRect(40, 5, 283, 15), QStringLiteral("From:"));
  Label5 = pathCaption(Panel2, "Label5", QStringLiteral(" To :"), 4, 22);
  Label3 = pathLabel(Panel2, "Label3", QRect(40, 22, 283, 15), QStringLiteral("To:"));
  Panel3 = new Panel(Panel1, "Panel3", Bevel::Lowered);
  Panel3->setGeometry(4, 68, 327, 29);
  BitBtn3 = button(Panel3, "BitBtn3", "Ｏ Ｋ (&O)", Glyph::Yes, QRect(6, 4, 75, 21));
  BitBtn2 = button(Panel3, "BitBtn2", "スキップ(&S)", Glyph::Skip, QRect(88, 4, 91, 21));
  BitBtn1 = button(Panel3, "BitBtn1", "中 断 (&A)", Glyph::Abort, QRect(248, 4, 75, 21));
  setTabOrder(BitBtn3, BitBtn2);
  setTabOrder(BitBtn2, BitBtn1);
  setFirstButton(BitBtn3);
  connect(BitBtn1, &QPushButton::clicked, this, &TINFO2::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TINFO2::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TINFO2::BitBtn3Click);
}

void TINFO2::BitBtn1Click() { abortSequence(state_.EntryAnswer, AnswerAbort); }
void TINFO2::BitBtn2Click() { answer(state_.EntryAnswer, AnswerSkip); }
void TINFO2::BitBtn3Click() { answer(state_.EntryAnswer, AnswerGo); }
void TINFO2::takeAbortAnswer() { state_.EntryAnswer = AnswerAbort; }
QString TINFO2::questionAndEntry() const {
  return Label1->text() + QStringLiteral(" ") + Label2->text() + QStringLiteral(" -> ") + Label3->text();
}

TINFO3::TINFO3(AppState& state) : PromptDialog(state, "INFO3", kCaption, clientOfOuter(345, 115), false) {
  Panel1 = new Panel(this, "Panel1");
  Panel1->setGeometry(2, 2, 334, 84);
  Label1 = questionLabel(Panel1, "Label1", QStringLiteral("対象ファイルが見つかりません。"), 6, 4, true);
  Panel2 = new Panel(Panel1, "Panel2", Bevel::Lowered);
  Panel2->setGeometry(4, 22, 327, 25);
  Label2 = pathLabel(Panel2, "Label2", QRect(6, 5, 315, 15), QStringLiteral("対象ファイル"));
  Panel3 = new Panel(Panel1, "Panel3", Bevel::Lowered);
  Panel3->setGeometry(4, 50, 327, 29);
  BitBtn2 = button(Panel3, "BitBtn2", "スキップ(&S)", Glyph::Skip, QRect(88, 4, 91, 21));
  BitBtn1 = button(Panel3, "BitBtn1", "中 断 (&A)", Glyph::Abort, QRect(250, 4, 75, 21));
  setTabOrder(BitBtn2, BitBtn1);
  setFirstButton(BitBtn2);
  connect(BitBtn1, &QPushButton::clicked, this, &TINFO3::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TINFO3::BitBtn2Click);
}

void TINFO3::BitBtn1Click() { abortSequence(state_.EntryAnswer, AnswerAbort); }
void TINFO3::BitBtn2Click() { answer(state_.EntryAnswer, AnswerSkip); }
void TINFO3::takeAbortAnswer() { state_.EntryAnswer = AnswerAbort; }
QString TINFO3::questionAndEntry() const { return Label1->text() + QStringLiteral(" ") + Label2->text(); }

TINFO4::TINFO4(AppState& state) : PromptDialog(state, "INFO4", kCaption, QSize(338, 87), true) {
  Panel1 = new Panel(this, "Panel1");
  Panel1->setGeometry(2, 2, 334, 84);
  Label1 = questionLabel(Panel1, "Label1", QStringLiteral("圧縮元のファイルを削除しますか？"), 6, 4, true);
  Panel2 = new Panel(Panel1, "Panel2", Bevel::Lowered);
  Panel2->setGeometry(4, 22, 327, 25);
  Label2 = pathLabel(Panel2, "Label2", QRect(6, 5, 315, 15), QStringLiteral("圧縮元のファイル"));
  Panel3 = new Panel(Panel1, "Panel3", Bevel::Lowered);
  Panel3->setGeometry(4, 50, 327, 29);
  BitBtn2 = button(Panel3, "BitBtn2", "いいえ (&N)", Glyph::No, QRect(172, 4, 91, 21));
  BitBtn1 = button(Panel3, "BitBtn1", "は い (&Y)", Glyph::Yes, QRect(66, 4, 91, 21));
  setTabOrder(BitBtn2, BitBtn1);
  setFirstButton(BitBtn2);
  connect(BitBtn1, &QPushButton::clicked, this, &TINFO4::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TINFO4::BitBtn2Click);
}

void TINFO4::BitBtn1Click() { answer(state_.DeleteAnswer, DeleteYes); }
void TINFO4::BitBtn2Click() { answer(state_.DeleteAnswer, DeleteNo); }
void TINFO4::takeAbortAnswer() {
  state_.DeleteAnswer = DeleteNo;
  state_.EntryAnswer = AnswerAbort;
}
QString TINFO4::questionAndEntry() const { return Label1->text() + QStringLiteral(" ") + Label2->text(); }

}  // namespace vedo::ui
