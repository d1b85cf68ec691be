#include "ControlWindowDriver.h"
#include "SampleDataFile.h"

#include "app/Application.h"
#include "app/MainForm.h"
#include "control/DataControl.h"
#include "data/NeuronDataFile.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

class OpenControlWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    DataDir = Dir.path() + "/data";
    ASSERT_TRUE(QDir().mkpath(DataDir));
    TDendroviaApplication::PrepareOptions(Dir.path() + "/dendrovia");
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  // Starts the main window on the data directory with the given file-list
  // columns ("2,1" = description, file name).
  void Start(const std::string &columns = "Column1Title=Description\nColumn1DataType=2\n"
                                          "Column2Title=Filename\nColumn2DataType=1\n") {
    const QString ini = TDendroviaApplication::IniPathFor(Dir.path() + "/dendrovia");
    std::ofstream(ini.toStdString())
        << "[Data]\nDirectory=" << DataDir.toStdString() << "\n[FilePanel]\n"
        << columns;
    Form = std::make_unique<TMainForm>(ini);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  void WriteData(const QString &name) {
    ASSERT_TRUE(
        WriteSampleDataFile((DataDir + "/" + name).toStdString(), FrameTimes(0.0, 1.0, 4.0)));
  }

  std::vector<int> Numbers() const {
    std::vector<int> numbers;
    for (const TDataControlForm *window : Form->OpenControlWindows())
      numbers.push_back(window->WindowNumber());
    return numbers;
  }

  // Runs the event loop until it has waited for events, which is when the main
  // window cleans up.
  static void UntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }

  QTemporaryDir Dir;
  QString DataDir;
  std::unique_ptr<TMainForm> Form;
  std::vector<QString> Boxes;
  std::vector<QString> Captions;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &caption, const QString &text,
                                          QMessageBox::Icon, QMessageBox::StandardButtons) {
    Boxes.push_back(text);
    Captions.push_back(caption);
    return QMessageBox::Ok;
  }};
};

TEST_F(OpenControlWindowTest, EnterAndDoubleClickOpenNumberedPlacedWindows) {
  WriteData("run.dat");
  TOptions::Instance().ControlPanel.Left = 120;
  Start();
  TOptions::Instance().ControlPanel.Left = 140;
  TOptions::Instance().ControlPanel.Top = 150;
  auto *grid = Form->findChild<QTableWidget *>("FileStringGrid");
  ASSERT_NE(grid, nullptr);
  grid->setCurrentCell(0, 1);
  // A real double click: a click, then the second press.
  const QPoint cell = grid->visualItemRect(grid->item(0, 1)).center();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
  ASSERT_EQ(Form->OpenControlWindows().size(), 1u);
  QTest::keyClick(grid, Qt::Key_Return);

  const std::vector<TDataControlForm *> windows = Form->OpenControlWindows();
  ASSERT_EQ(windows.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    TDataControlForm *window = windows[static_cast<size_t>(i)];
    EXPECT_EQ(window->WindowNumber(), i + 1);
    EXPECT_EQ(window->objectName(), QString("DataControlForm%1").arg(i + 1));
    EXPECT_EQ(window->windowTitle(), "Data Control - run.dat");
    EXPECT_EQ(window->pos(), QPoint(140, 150));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->FileName(), DataDir + "/run.dat");
    EXPECT_EQ(window->Data().GetItemCount(), 2);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(OpenControlWindowTest, NumbersFillTheGapsThatClosedWindowsLeave) {
  WriteData("run.dat");
  Start();
  const QString path = DataDir + "/run.dat";
  for (int i = 0; i < 3; ++i)
    Form->OpenDataFile(path);
  EXPECT_EQ(Numbers(), std::vector<int>({1, 2, 3}));

  QPointer<TDataControlForm> second = Form->OpenControlWindows()[1];
  second->close();
  EXPECT_EQ(Form->NextControlWindowNumber(), 2);
  EXPECT_TRUE(second.isNull());
  Form->OpenDataFile(path);
  EXPECT_EQ(Numbers(), std::vector<int>({1, 3, 2}));
  // The 2 behind the 3 is in use as well.
  EXPECT_EQ(Form->NextControlWindowNumber(), 4);

  Form->OpenControlWindows()[0]->close();
  Form->OpenControlWindows()[1]->close();
  Form->OpenDataFile(path);
  EXPECT_EQ(Numbers(), std::vector<int>({2, 1}));
  EXPECT_EQ(Form->NextControlWindowNumber(), 3);
}

TEST_F(OpenControlWindowTest, ClosedWindowIsDestroyedWhenIdleAndWritesItsSettings) {
  WriteData("run.dat");
  Start();
  Form->OpenDataFile(DataDir + "/run.dat");
  QPointer<TDataControlForm> window = Form->OpenControlWindows()[0];
  window->move(210, 220);
  EnterText(*window, "FramesDelayEdit", "321");
  UntilIdle();
  EXPECT_FALSE(window.isNull()) << "open windows stay";

  window->close();
  EXPECT_FALSE(window.isNull()) << "closing only hides";
  UntilIdle();
  EXPECT_TRUE(window.isNull());
  EXPECT_TRUE(Form->OpenControlWindows().empty());
  const TOptions &settings = TOptions::Instance();
  EXPECT_EQ(settings.ControlPanel.Left, 210);
  EXPECT_EQ(settings.ControlPanel.Top, 220);
  EXPECT_EQ(settings.ControlPanel.FramesDelay, 321u);

  // The next window opens where the last one was.
  Form->OpenDataFile(DataDir + "/run.dat");
  EXPECT_EQ(Form->OpenControlWindows()[0]->pos(), QPoint(210, 220));
  EXPECT_EQ(Form->OpenControlWindows()[0]->FramesDelay(), 321u);
}

TEST_F(OpenControlWindowTest, ADirectoryOpensAnEmptyControlWindow) {
  // No files: the grid's one row is empty, so the path is the directory and a
  // separator.
  Start();
  auto *grid = Form->findChild<QTableWidget *>("FileStringGrid");
  grid->setCurrentCell(0, 0);
  QTest::keyClick(grid, Qt::Key_Return);
  ASSERT_EQ(Form->OpenControlWindows().size(), 1u);
  TDataControlForm *window = Form->OpenControlWindows()[0];
  EXPECT_EQ(window->windowTitle(), "Data Control - ");
  EXPECT_EQ(window->Data().GetItemCount(), 0);
  EXPECT_EQ(window->findChild<QListWidget *>("NeuronItemCheckListBox")->count(), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Boxes.empty(); }));
  EXPECT_EQ(Boxes, std::vector<QString>{"Could not open " + DataDir + "/: a folder, not a file."});
  EXPECT_EQ(Captions, std::vector<QString>{"Data Control - "});
}

// The window opens all the same, and says once, in its caption, what the
// reader found.
TEST_F(OpenControlWindowTest, AFileThatIsNoDataFileSaysWhyOnce) {
  std::ofstream(DataDir.toStdString() + "/notes.dat") << "hello, world\n";
  std::ofstream(DataDir.toStdString() + "/cut.dat") << "MTSD\n1234";
  Start();
  const std::vector<std::pair<QString, QString>> cases{
      {"notes.dat", "not a simulation data file: it does not start with MTSD"},
      {"cut.dat", "the header is cut short"},
      {"gone.dat", "no such file"}};
  for (const auto &[name, reason] : cases) {
    Boxes.clear();
    Captions.clear();
    Form->OpenDataFile(DataDir + "/" + name);
    TDataControlForm *window = Form->OpenControlWindows().back();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Data().GetItemCount(), 0);
    EXPECT_EQ(window->LoadFailure(), reason);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Boxes.empty(); }));
    EXPECT_EQ(Boxes,
              std::vector<QString>{"Could not open " + DataDir + "/" + name + ": " + reason + "."});
    EXPECT_EQ(Captions, std::vector<QString>{"Data Control - " + name});
    window->hide();
    window->show();
    QTest::qWait(20);
    EXPECT_EQ(Boxes.size(), 1u);
  }
  // A data file says nothing.
  WriteData("run.dat");
  Boxes.clear();
  Form->OpenDataFile(DataDir + "/run.dat");
  QTest::qWait(20);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(Form->OpenControlWindows().back()->LoadFailure().isEmpty());
}

TEST_F(OpenControlWindowTest, WithoutAFileNameColumnTheDirectoryItselfOpens) {
  WriteData("run.dat");
  Start("Column1Title=Description\nColumn1DataType=2\n");
  Form->findChild<QTableWidget *>("FileStringGrid")->setCurrentCell(0, 0);
  QTest::keyClick(Form->findChild<QTableWidget *>("FileStringGrid"), Qt::Key_Return);
  ASSERT_EQ(Form->OpenControlWindows().size(), 1u);
  TDataControlForm *window = Form->OpenControlWindows()[0];
  EXPECT_EQ(window->windowTitle(), "Data Control - data");
  EXPECT_EQ(window->Data().GetItemCount(), 0);
  EXPECT_EQ(window->TimeScaleMax(), 0.0);
}

TEST_F(OpenControlWindowTest, HelpKeysInAControlWindowShowTheHelpWindows) {
  WriteData("run.dat");
  Start();
  QDialog about, help;
  Form->SetHelpWindows(&about, &help);
  Form->OpenDataFile(DataDir + "/run.dat");
  TDataControlForm *window = Form->OpenControlWindows()[0];
  std::vector<QWidget *> shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
      shown.push_back(dialog);
      dialog->reject();
    }
  });
  closer.start(5);
  QTest::keyClick(window->findChild<QLineEdit *>("TimeMinEdit"), Qt::Key_F1);
  QTest::keyClick(window->findChild<QListWidget *>("NeuronItemCheckListBox"), Qt::Key_F1,
                  Qt::ControlModifier);
  QTest::keyClick(window, Qt::Key_F1, Qt::ShiftModifier);
  EXPECT_EQ(shown, std::vector<QWidget *>({&help, &about, &help}));
}

} // namespace
