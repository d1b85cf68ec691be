#include "help/ShowHelp.h"
#include "settings/Options.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ShowHelpFormTest : public ::testing::Test {
protected:
  void SetUp() override { TOptions::ReleaseInstance(); }
  void TearDown() override { TOptions::ReleaseInstance(); }

  static TWindowSettings &Settings() { return TOptions::Instance().WindowHelp; }

  static void SetBounds(int left, int top, int width, int height) {
    Settings().Left = left;
    Settings().Top = top;
    Settings().Width = width;
    Settings().Height = height;
  }

  static QTextBlock FindBlock(const QTextDocument &document, const QString &start) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      if (block.text().startsWith(start))
        return block;
    }
    return {};
  }
};

} // namespace

TEST_F(ShowHelpFormTest, ShowsTheGuideReadOnlyUnwrappedUnderTheConfiguredCaption) {
  Settings().Title = "User guide";
  TShowHelpForm form;
  EXPECT_EQ(form.windowTitle(), "User guide");
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);

  QTextEdit *edit = form.findChild<QTextEdit *>("RichEdit");
  ASSERT_EQ(edit, form.RichEdit);
  const QString text = edit->toPlainText();
  EXPECT_TRUE(text.endsWith("Press Ctrl+F1 to get information about Dendrovia."))
      << text.right(80).toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("\t← and → - move the image along X;")));

  const QTextBlock skip = FindBlock(*edit->document(), "Skip frames - ");
  ASSERT_TRUE(skip.isValid());
  EXPECT_NEAR(skip.blockFormat().textIndent(), 320.0 / 15.0, 0.01);
  QTextCursor inName(skip);
  inName.setPosition(skip.position() + 1);
  EXPECT_EQ(inName.charFormat().fontWeight(), QFont::Bold);
  EXPECT_DOUBLE_EQ(inName.charFormat().fontPointSize(), 9.0);
  QTextCursor inExplanation(skip);
  inExplanation.setPosition(skip.position() + QString("Skip frames - the").size());
  EXPECT_EQ(inExplanation.charFormat().fontWeight(), QFont::Normal);

  // Typing changes nothing; long lines are reached by scrolling, not wrapped.
  SetBounds(100, 100, 200, 300);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(edit->verticalScrollBar()->value(), 0) << "the guide opens at its beginning";
  edit->setFocus();
  QTest::keyClicks(edit, "typed");
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_EQ(edit->toPlainText(), text);
  EXPECT_EQ(edit->lineWrapMode(), QTextEdit::NoWrap);
  EXPECT_GT(edit->horizontalScrollBar()->maximum(), 0);
  EXPECT_TRUE(edit->horizontalScrollBar()->isVisible());
  EXPECT_TRUE(edit->verticalScrollBar()->isVisible());
}

TEST_F(ShowHelpFormTest, EveryShowingUsesTheStoredBoundsAndDestroyStoresTheLastOnes) {
  SetBounds(210, 160, 520, 330);
  auto form = std::make_unique<TShowHelpForm>();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(form->pos(), QPoint(210, 160));
  EXPECT_EQ(form->size(), QSize(520, 330));

  // Moved by the user, closed and shown again: back at the stored bounds.
  form->move(40, 50);
  form->resize(450, 280);
  form->hide();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(form->pos(), QPoint(210, 160));
  EXPECT_EQ(form->size(), QSize(520, 330));

  form->move(70, 80);
  form->resize(430, 260);
  form->hide();
  form.reset();
  EXPECT_EQ(Settings().Left, 70);
  EXPECT_EQ(Settings().Top, 80);
  EXPECT_EQ(Settings().Width, 430);
  EXPECT_EQ(Settings().Height, 260);
}

TEST_F(ShowHelpFormTest, AWindowNeverShownLeavesTheStoredBoundsAlone) {
  SetBounds(300, 200, 610, 410);
  { TShowHelpForm form; }
  EXPECT_EQ(Settings().Left, 300);
  EXPECT_EQ(Settings().Top, 200);
  EXPECT_EQ(Settings().Width, 610);
  EXPECT_EQ(Settings().Height, 410);
}

TEST_F(ShowHelpFormTest, RunsModallyAndComesBackAtTheStoredBounds) {
  SetBounds(150, 120, 480, 320);
  TShowHelpForm form;
  bool wasModal = false;
  QPoint shownAt;
  QTimer::singleShot(0, &form, [&] {
    wasModal = QApplication::activeModalWidget() == &form;
    shownAt = form.pos();
    form.close();
  });
  form.exec();
  EXPECT_TRUE(wasModal);
  EXPECT_EQ(shownAt, QPoint(150, 120));
  EXPECT_FALSE(form.isVisible());
}
