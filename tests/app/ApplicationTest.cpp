// Runs its own main: the exception box needs the program's application object.
#include "app/Application.h"
#include "settings/MessageDialog.h"

#include <QEvent>
#include <QObject>
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
