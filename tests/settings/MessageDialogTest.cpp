#include "settings/MessageDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageDialog, HandlerSeesTheBoxAndAnswersIt) {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  {
    TScopedMessageBoxHandler handler([&](QWidget *, const QString &c, const QString &t,
                                         QMessageBox::Icon i, QMessageBox::StandardButtons b) {
      caption = c;
      text = t;
      icon = i;
      buttons = b;
      return QMessageBox::No;
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "Loading options", "File x not found", QMessageBox::Critical,
                             QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
  }
  EXPECT_EQ(caption, "Loading options");
  EXPECT_EQ(text, "File x not found");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
}

TEST(MessageDialog, ScopedHandlersNestAndTheRealBoxComesBack) {
  int outer = 0, inner = 0;
  const auto count = [](int &n) {
    return [&n](QWidget *, const QString &, const QString &, QMessageBox::Icon,
                QMessageBox::StandardButtons) {
      ++n;
      return QMessageBox::Ok;
    };
  };
  {
    TScopedMessageBoxHandler first(count(outer));
    {
      TScopedMessageBoxHandler second(count(inner));
      ShowMessageBox(nullptr, "a", "b", QMessageBox::Information);
    }
    ShowMessageBox(nullptr, "a", "b", QMessageBox::Information);
  }
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 1);

  // Without a handler a real modal box appears; close it from the event loop.
  QString shownText;
  QTimer::singleShot(0, [&] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
        shownText = box->text();
        box->button(QMessageBox::Ok)->click();
      }
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "Real", "real box", QMessageBox::Warning), QMessageBox::Ok);
  EXPECT_EQ(shownText, "real box");
}
