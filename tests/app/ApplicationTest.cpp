// Runs its own main: the exception box needs the program's application object.
#include "SampleDataFile.h"
#include "X11TestSupport.h"

#include "app/Application.h"
#include "app/MainForm.h"
#include "control/DataControl.h"
#include "help/AboutProgram.h"
#include "help/ShowHelp.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"
#include "views/ShowInfo.h"

#include <QEvent>
#include <QObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

const QEvent::Type ThrowStd = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type ThrowOther = static_cast<QEvent::Type>(QEvent::User + 2);
const QEvent::Type Count = static_cast<QEvent::Type>(QEvent::User + 3);

class TThrowingObject : public QObject {
public:
  int Counted = 0;

  bool event(QEvent *event) override {
    if (event->type() == ThrowStd)
      throw std::runtime_error("Range check error");
    if (event->type() == ThrowOther)
      throw 42;
    if (event->type() == Count) {
      ++Counted;
      return true;
    }
    return QObject::event(event);
  }
};

} // namespace

TEST(Application, EveryWindowIsCaptionedExactlyAsTheSettingsSay) {
  QTemporaryDir dir;
  TDendroviaApplication::PrepareOptions(dir.filePath("dendrovia"));
  const QString data = dir.filePath("small.dat");
  ASSERT_TRUE(WriteSampleDataFile(data.toStdString(), FrameTimes(0.0, 1.0, 2.0)));
  {
    TMainForm mainForm(TDendroviaApplication::IniPathFor(dir.filePath("dendrovia")));
    TAboutForm aboutForm;
    TShowHelpForm helpForm;
    mainForm.OpenDataFile(data);
    // A legacy 8-bit title (Cyrillic in code page 1251) is shown readably.
    const std::string legacy = "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5";
    TOptions::Instance().Graphics3D.Title = legacy;
    TDataControlForm *control = mainForm.OpenControlWindows().at(0);
    for (const char *button :
         {"Show1DButton", "Show2DButton", "Show3DButton", "ShowFtButton", "ShowInfoButton"})
      QTest::mouseClick(control->findChild<QPushButton *>(button), Qt::LeftButton);
    const std::pair<QWidget *, QString> windows[] = {{&mainForm, "Dendrovia"},
                                                     {&aboutForm, "About Dendrovia"},
                                                     {&helpForm, "Help"},
                                                     {control, "Data Control - small.dat"},
                                                     {control->Form1D(), "1D"},
                                                     {control->Form2D(), "2D"},
                                                     {control->Form3D(), SettingsText(legacy)},
                                                     {control->FormFt(), "Ft"},
                                                     {control->FormInfo(), "Info"}};
    for (const auto &[window, title] : windows) {
      window->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
      EXPECT_EQ(window->windowTitle(), title);
      EXPECT_EQ(ServerTitle(*window), title);
      EXPECT_FALSE(title.contains(QChar::ReplacementCharacter));
    }
  }
  TOptions::ReleaseInstance();
}

TEST(Application, ExceptionsOfEventHandlersAreShownAndTheProgramGoesOn) {
  std::vector<std::pair<QString, QString>> boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &caption, const QString &text,
                                       QMessageBox::Icon icon, QMessageBox::StandardButtons) {
    EXPECT_EQ(icon, QMessageBox::Critical);
    boxes.emplace_back(caption, text);
    return QMessageBox::Ok;
  });
  TThrowingObject object;

  QEvent throwStd(ThrowStd);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &throwStd));
  // Posted events go through the same door from the event loop.
  QCoreApplication::postEvent(&object, new QEvent(ThrowOther));
  QCoreApplication::postEvent(&object, new QEvent(Count));
  QCoreApplication::processEvents();

  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], std::make_pair(QString("Dendrovia"), QString("Range check error")));
  EXPECT_EQ(boxes[1], std::make_pair(QString("Dendrovia"), QString()));
  EXPECT_EQ(object.Counted, 1);
  EXPECT_EQ(QCoreApplication::applicationName(), "Dendrovia");
}

TEST(Application, IniFileLiesBesideTheExecutableWithItsName) {
  EXPECT_EQ(TDendroviaApplication::IniPathFor("/opt/dendrovia/dendrovia"),
            "/opt/dendrovia/dendrovia.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathFor("/opt/dendrovia/dendrovia.bin"),
            "/opt/dendrovia/dendrovia.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathFor("/opt/v1.2/viewer"), "/opt/v1.2/viewer.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathFor("/opt/run.me.exe"), "/opt/run.me.ini");
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TDendroviaApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
