#include "tests/support/scripted_port.h"

#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vedo::test {
namespace {

using ::testing::ElementsAre;

TEST(ScriptedPort, AnswersPromptsFromTheScriptAndRecordsInOrder) {
  AppState state;
  ScriptedPort port(state);
  port.script(Prompt::Confirm, {AnswerSkip, ScriptedPort::FrameClose});
  port.script(Prompt::Delete, {DeleteYes});

  port.setConfirmLabels("/a/b.txt", "/a/b.LZH");
  port.playSound(Sound::Asterisk);
  port.showConfirmCompress();
  EXPECT_EQ(state.EntryAnswer, AnswerSkip);
  port.showConfirmCompress();  // frame close: the cell keeps its value
  EXPECT_EQ(state.EntryAnswer, AnswerSkip);
  port.playSound(Sound::Question);
  port.showDeleteQuestion();
  EXPECT_EQ(state.DeleteAnswer, DeleteYes);
  EXPECT_EQ(port.ShowNotice(NoticeKind::Error, ButtonAbort, sj("対象ファイルを指定してください")),
            ButtonAbort);

  EXPECT_THAT(port.log(), ElementsAre("confirm-labels /a/b.txt | /a/b.LZH", "sound asterisk",
                                      "show confirm -> 2", "show confirm -> frame-close",
                                      "sound question", "show delete -> 1",
                                      "notice error [Abort] 対象ファイルを指定してください"));
}

TEST(ScriptedPort, NoticesTakeScriptedButtonsThenTheEnterDefault) {
  AppState state;
  ScriptedPort port(state);
  port.scriptNotices({ButtonNo});
  EXPECT_EQ(port.ShowNotice(NoticeKind::Confirmation, ButtonYes | ButtonNo, "x"), ButtonNo);
  EXPECT_EQ(port.ShowNotice(NoticeKind::Confirmation, ButtonYes | ButtonNo, "x"), ButtonYes);
  EXPECT_EQ(port.ShowNotice(NoticeKind::Warning, ButtonOk | ButtonCancel, "x"), ButtonOk);
}

TEST(ScriptedPort, DefaultAnswerServesOnceTheScriptIsUsedUp) {
  AppState state;
  ScriptedPort port(state);
  port.script(Prompt::SourceNotFound, {AnswerAbort});
  port.setDefaultAnswer(Prompt::SourceNotFound, AnswerSkip);
  port.showSourceNotFound();
  EXPECT_EQ(state.EntryAnswer, AnswerAbort);
  port.showSourceNotFound();
  EXPECT_EQ(state.EntryAnswer, AnswerSkip);
  EXPECT_THAT(port.prompts(), ElementsAre("show not-found -> 3", "show not-found -> 2"));
}

}  // namespace
}  // namespace vedo::test
