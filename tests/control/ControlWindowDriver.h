#pragma once

#include "control/DataControl.h"
#include "settings/MessageDialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// A Control Window driven from tests as a user drives it.

// A shown Control Window with the number, on the file at path.
inline std::unique_ptr<TDataControlForm> OpenControlWindow(const QString &path, int number) {
  auto form = std::make_unique<TDataControlForm>();
  form->SetWindowNumber(number);
  form->OpenFile(path);
  form->show();
  return form;
}

// A click on the named button.
inline void PressButton(TDataControlForm &form, const char *button) {
  QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
}

// Types text over the named box's text and presses Return.
inline void EnterText(TDataControlForm &form, const char *box, const QString &text) {
  QLineEdit *edit = form.findChild<QLineEdit *>(box);
  edit->selectAll();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

// How many top-level windows have the object name.
inline int TopLevelCount(const QString &name) {
  int count = 0;
  for (QWidget *window : QApplication::topLevelWidgets())
    count += window->objectName() == name;
  return count;
}

// A message box handler for tests where no box may appear: each one fails the
// running test and is answered with OK.
inline QMessageBox::StandardButton FailOnMessageBox(QWidget *, const QString &, const QString &text,
                                                    QMessageBox::Icon,
                                                    QMessageBox::StandardButtons) {
  ADD_FAILURE() << "unexpected message: " << text.toStdString();
  return QMessageBox::Ok;
}

// A message box handler that answers OK and appends "caption: text" to boxes,
// which must outlive it.
inline TMessageBoxHandler LogMessageBoxesTo(QStringList &boxes) {
  return [&boxes](QWidget *, const QString &caption, const QString &text, QMessageBox::Icon,
                  QMessageBox::StandardButtons) {
    boxes << caption + ": " + text;
    return QMessageBox::Ok;
  };
}
