#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/ShowInfo.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <mutex>

namespace {

struct TShownBox {
  QString Caption;
  QString Text;
  QMessageBox::Icon Icon;
};

class ControlWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    ASSERT_TRUE(Dir.isValid());
    Path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 0.5, 10.0)));
    Form = std::make_unique<TDataControlForm>();
    Form->setWindowTitle("Data Control - run.dat");
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  template <class T> T *Child(const char *name) {
    T *child = Form->findChild<T *>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QLineEdit *Edit(const char *name) { return Child<QLineEdit>(name); }

  // Types text into a box as the user would and confirms it with Enter.
  void Enter(const char *box, const QString &text) {
    QLineEdit *edit = Edit(box);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  double CurrentFrameTime() {
    TNeuronDataFile &data = Form->Data();
    std::lock_guard<std::mutex> lock(data.GetFrameLock());
    return data.GetCurrentFrame()[0];
  }

  QTemporaryDir Dir;
  QString Path;
  std::unique_ptr<TDataControlForm> Form;
  std::vector<TShownBox> Boxes;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &caption, const QString &text,
                                          QMessageBox::Icon icon, QMessageBox::StandardButtons) {
    Boxes.push_back({caption, text, icon});
    return QMessageBox::Ok;
  }};
};

TEST_F(ControlWindowTest, LayoutNamesHintsTagsAndTabOrder) {
  EXPECT_EQ(Form->size(), QSize(295, 262));
  EXPECT_EQ(Form->minimumSize(), Form->maximumSize());
  EXPECT_TRUE(Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(Form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

  EXPECT_EQ(Edit("VariableMinEdit")->geometry(), QRect(105, 25, 55, 21));
  EXPECT_EQ(Edit("VariableMaxEdit")->geometry(), QRect(230, 25, 55, 21));
  EXPECT_EQ(Edit("TimeMinEdit")->geometry(), QRect(105, 64, 55, 21));
  EXPECT_EQ(Edit("TimeCurrentEdit")->geometry(), QRect(167, 64, 55, 21));
  EXPECT_EQ(Edit("TimeMaxEdit")->geometry(), QRect(230, 64, 55, 21));
  EXPECT_EQ(Edit("FramesDelayEdit")->geometry(), QRect(10, 130, 30, 21));
  EXPECT_EQ(Edit("SkipFramesEdit")->geometry(), QRect(238, 130, 30, 21));
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "0");
  EXPECT_EQ(Child<QLabel>("DataRangeMaxLabel")->pos(), QPoint(233, 10));
  EXPECT_EQ(Child<QLabel>("FrameDelayLabel")->text(), "ms");
  EXPECT_EQ(Child<QSpinBox>("SkipFramesUpDown")->geometry(), QRect(268, 130, 17, 21));
  EXPECT_FALSE(Child<QSpinBox>("SkipFramesUpDown")->wrapping());

  auto *trackBar = Child<QSlider>("FramesDelayTrackBar");
  EXPECT_EQ(trackBar->geometry(), QRect(61, 129, 155, 33));
  EXPECT_EQ(trackBar->pageStep(), 10);
  EXPECT_EQ(trackBar->tickInterval(), 100);
  EXPECT_EQ(trackBar->tickPosition(), QSlider::TicksBelow);
  EXPECT_EQ(trackBar->toolTip(), "Frames delay");

  const struct {
    const char *Name, *Caption;
    int Left;
  } shows[] = {{"Show1DButton", "1D", 10},
               {"Show2DButton", "2D", 67},
               {"Show3DButton", "3D", 125},
               {"ShowFtButton", "F(t)", 182},
               {"ShowInfoButton", "Info", 240}};
  for (const auto &show : shows) {
    auto *button = Child<QPushButton>(show.Name);
    EXPECT_EQ(button->text(), show.Caption);
    EXPECT_EQ(button->geometry(), QRect(show.Left, 95, 45, 25));
  }
  const struct {
    const char *Name, *Hint;
    int Left, Tag;
  } images[] = {
      {"PlayBitBtn", "Start", 10, 1},          {"PauseBitBtn", "Pause", 35, 2},
      {"StopBitBtn", "Stop", 60, 3},           {"StepForwardBitBtn", "Step forward", 90, 4},
      {"StepBackBitBtn", "Step back", 115, 5}, {"LoadPaletteBitBtn", "Load palette", 260, 0}};
  for (const auto &image : images) {
    auto *button = Child<QPushButton>(image.Name);
    EXPECT_EQ(button->toolTip(), image.Hint);
    EXPECT_EQ(button->geometry(), QRect(image.Left, 161, 25, 25));
    EXPECT_FALSE(button->icon().isNull()) << image.Name;
    if (image.Tag != 0) {
      EXPECT_EQ(button->property("Tag").toInt(), image.Tag) << image.Name;
    }
  }
  EXPECT_EQ(Child<QListWidget>("NeuronItemCheckListBox")->geometry(), QRect(10, 195, 275, 57));

  // The scale boxes follow one another in the tab order.
  const char *boxes[] = {"VariableMinEdit", "VariableMaxEdit", "TimeMinEdit", "TimeCurrentEdit",
                         "TimeMaxEdit"};
  for (size_t i = 1; i < std::size(boxes); ++i)
    EXPECT_EQ(Edit(boxes[i - 1])->nextInFocusChain(), Edit(boxes[i])) << boxes[i];
}

TEST_F(ControlWindowTest, OpenFileShowsRangesScalesAndItems) {
  TOptions::Instance().ControlPanel.SkipFrames = 3;
  TOptions::Instance().ControlPanel.FramesDelay = 120;
  Form->OpenFile(Path);
  EXPECT_EQ(Form->FileName(), Path);
  EXPECT_EQ(Child<QLabel>("DataRangeLabel")->text(), "Data range :   (mV)");
  EXPECT_EQ(Child<QLabel>("DataRangeMinLabel")->text(), "0.000");
  EXPECT_EQ(Child<QLabel>("DataRangeMaxLabel")->text(), "40.000");
  EXPECT_EQ(Child<QLabel>("TimeRangeLabel")->text(), "Time range :   (ms)");
  EXPECT_EQ(Child<QLabel>("TimeRangeMinLabel")->text(), "0.000");
  EXPECT_EQ(Child<QLabel>("TimeRangeMaxLabel")->text(), "10.000");
  EXPECT_EQ(Child<QLabel>("VariableScaleLabel")->text(), "Variable scale : ");
  EXPECT_EQ(Child<QLabel>("TimeScaleLabel")->text(), "Time scale : ");
  EXPECT_EQ(Edit("VariableMinEdit")->text(), "0.000");
  EXPECT_EQ(Edit("VariableMaxEdit")->text(), "40.000");
  EXPECT_EQ(Edit("TimeMinEdit")->text(), "0.000");
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "0.000");
  EXPECT_EQ(Edit("TimeMaxEdit")->text(), "10.000");
  EXPECT_EQ(Form->VariableScaleMax(), 40.0);
  EXPECT_EQ(Form->TimeScaleMax(), 10.0);
  EXPECT_EQ(Form->CurrentTime(), 0.0);
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "3");
  EXPECT_EQ(Child<QSpinBox>("SkipFramesUpDown")->value(), 3);
  EXPECT_EQ(Child<QSpinBox>("SkipFramesUpDown")->maximum(), 100);
  EXPECT_EQ(Edit("FramesDelayEdit")->text(), "120");
  EXPECT_EQ(Child<QSlider>("FramesDelayTrackBar")->value(), 120);
  EXPECT_EQ(Child<QSlider>("FramesDelayTrackBar")->maximum(), 1000);
  EXPECT_EQ(Form->Palette().GetMinValue(), 0.0);
  EXPECT_EQ(Form->Palette().GetMaxValue(), 40.0);

  auto *items = Child<QListWidget>("NeuronItemCheckListBox");
  ASSERT_EQ(items->count(), 2);
  EXPECT_EQ(items->item(0)->text(), "soma");
  EXPECT_EQ(items->item(1)->text(), "dend[0]");
  EXPECT_EQ(items->item(1)->checkState(), Qt::Checked);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ControlWindowTest, ADirectoryGivesAnEmptyModelAndWindow) {
  Form->OpenFile(Dir.path());
  Form->OpenFile(Dir.path() + "/");
  EXPECT_EQ(Child<QLabel>("DataRangeLabel")->text(), "Data range :   ()");
  EXPECT_EQ(Child<QLabel>("TimeRangeMaxLabel")->text(), "0.000");
  EXPECT_EQ(Edit("VariableMinEdit")->text(), "0.000");
  EXPECT_EQ(Edit("TimeMaxEdit")->text(), "0.000");
  EXPECT_EQ(Child<QListWidget>("NeuronItemCheckListBox")->count(), 0);
  // The palette keeps its default range: an empty one is not taken.
  EXPECT_EQ(Form->Palette().GetMaxValue(), 100.0);
  // Typing into the boxes of an empty model is harmless.
  Enter("TimeCurrentEdit", "5");
  Enter("TimeMinEdit", "1");
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "0.000");
}

TEST_F(ControlWindowTest, VariableScaleIsRoundedToTheShownPrecision) {
  Form->OpenFile(Path);
  Enter("VariableMinEdit", "0.12345");
  EXPECT_EQ(Edit("VariableMinEdit")->text(), "0.123");
  EXPECT_EQ(Form->VariableScaleMin(), 0.123);
  EXPECT_EQ(Form->Palette().GetMinValue(), 0.123);

  Enter("VariableMaxEdit", "12,5");
  EXPECT_EQ(Form->VariableScaleMax(), 12.5);
  EXPECT_EQ(Edit("VariableMaxEdit")->text(), "12.500");
  EXPECT_TRUE(Boxes.empty());

  // An end equal to the other is rejected; the box keeps the reformatted number.
  Enter("VariableMinEdit", "12.5");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Caption, "Data Control - run.dat");
  EXPECT_EQ(Boxes[0].Text, "Invalid number value");
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Edit("VariableMinEdit")->text(), "12.500");
  EXPECT_EQ(Form->VariableScaleMin(), 0.123);
  Enter("VariableMaxEdit", "0.1234");
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text, "Invalid number value");
  EXPECT_EQ(Form->VariableScaleMax(), 12.5);

  // A scale whose width overflows a double is taken: the palette spreads its
  // colours over it, and the boxes show the ends as numbers.
  Enter("VariableMaxEdit", "1e308");
  EXPECT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Form->Palette().GetMaxValue(), 1e308);
  Enter("VariableMinEdit", "-1e308");
  EXPECT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Edit("VariableMinEdit")->text(), "-1e+308");
  EXPECT_EQ(Form->VariableScaleMin(), -1e308);
  EXPECT_EQ(Form->Palette().GetMinValue(), -1e308);
}

TEST_F(ControlWindowTest, TextThatIsNoNumberKeepsTheFocusInItsBox) {
  Form->OpenFile(Path);
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  for (const char *name :
       {"VariableMinEdit", "VariableMaxEdit", "TimeMinEdit", "TimeCurrentEdit", "TimeMaxEdit"}) {
    SCOPED_TRACE(name);
    Boxes.clear();
    QLineEdit *box = Edit(name);
    const QString before = box->text();
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "abc");
    // Leaving the box checks it as Enter does.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Invalid number format");
    EXPECT_EQ(Boxes[0].Caption, "Data Control - run.dat");
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->text(), "abc");
    box->setText(before);
  }
  EXPECT_EQ(Form->VariableScaleMin(), 0.0);
  EXPECT_EQ(Form->TimeScaleMax(), 10.0);
}

TEST_F(ControlWindowTest, TimeScaleSnapsToFramesAndDragsTheCurrentFrame) {
  Form->OpenFile(Path);
  Enter("TimeCurrentEdit", "1");
  EXPECT_EQ(Form->CurrentTime(), 1.0);
  EXPECT_EQ(CurrentFrameTime(), 1.0);

  Enter("TimeMinEdit", "2.2");
  EXPECT_EQ(Form->TimeScaleMin(), 2.0);
  EXPECT_EQ(Edit("TimeMinEdit")->text(), "2.000");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "2.000");
  EXPECT_EQ(CurrentFrameTime(), 2.0);

  Enter("TimeMaxEdit", "12");
  EXPECT_EQ(Form->TimeScaleMax(), 10.0);
  EXPECT_EQ(Edit("TimeMaxEdit")->text(), "10.000");
  Enter("TimeMaxEdit", "7.9");
  EXPECT_EQ(Form->TimeScaleMax(), 8.0);

  Enter("TimeCurrentEdit", "4.3");
  EXPECT_EQ(Form->CurrentTime(), 4.5);
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "4.500");
  EXPECT_EQ(CurrentFrameTime(), 4.5);
  Enter("TimeCurrentEdit", "9");
  EXPECT_EQ(Form->CurrentTime(), 8.0);
  EXPECT_EQ(CurrentFrameTime(), 8.0);
  Enter("TimeCurrentEdit", "2,5");
  EXPECT_EQ(CurrentFrameTime(), 2.5);

  // The end drags a later current frame back.
  Enter("TimeCurrentEdit", "7");
  Enter("TimeMaxEdit", "5.1");
  EXPECT_EQ(Form->TimeScaleMax(), 5.0);
  EXPECT_EQ(Form->CurrentTime(), 5.0);
  EXPECT_EQ(CurrentFrameTime(), 5.0);

  Enter("TimeMinEdit", "-3");
  EXPECT_EQ(Form->TimeScaleMin(), 0.0);
  EXPECT_EQ(Edit("TimeMinEdit")->text(), "0.000");
  EXPECT_EQ(Form->CurrentTime(), 5.0);

  // A start beyond the end, an end before the start.
  Enter("TimeMinEdit", "6");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "Invalid number value");
  EXPECT_EQ(Edit("TimeMinEdit")->text(), "6.000");
  EXPECT_EQ(Form->TimeScaleMin(), 0.0);
  Enter("TimeMinEdit", "2");
  Enter("TimeMaxEdit", "1.5");
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text, "Invalid number value");
  EXPECT_EQ(Form->TimeScaleMax(), 5.0);
}

TEST_F(ControlWindowTest, EnterWithAnUnchangedNumberDoesNothing) {
  Form->OpenFile(Path);
  Enter("TimeCurrentEdit", "4.5");
  // Move the palette and the frame behind the window's back: an unchanged box
  // must not put them back.
  Form->Palette().SetRange(-1000.0, 1000.0);
  Form->Data().SeekFrame(7.0);
  for (const char *name :
       {"VariableMinEdit", "VariableMaxEdit", "TimeMinEdit", "TimeCurrentEdit", "TimeMaxEdit"})
    QTest::keyClick(Edit(name), Qt::Key_Return);
  EXPECT_EQ(Form->Palette().GetMinValue(), -1000.0);
  EXPECT_EQ(CurrentFrameTime(), 7.0);
  Enter("VariableMinEdit", "0.0001");
  EXPECT_EQ(Form->Palette().GetMinValue(), -1000.0);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ControlWindowTest, LoadPaletteRecoloursTheCurrentFrame) {
  Form->OpenFile(Path);
  const QString palette = Dir.filePath("red.ncm");
  std::ofstream(palette.toStdString()) << "255 0 0\n";
  TOptions::Instance().Palette.File = Dir.filePath("old.ncm").toStdString();

  QString shownDirectory;
  QStringList shownFilters;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog)
      return;
    answer.stop();
    shownDirectory = dialog->directory().absolutePath();
    shownFilters = dialog->nameFilters();
    dialog->selectFile(palette);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  answer.start(10);
  QTest::mouseClick(Child<QPushButton>("LoadPaletteBitBtn"), Qt::LeftButton);

  EXPECT_EQ(shownDirectory, QDir(Dir.path()).absolutePath());
  EXPECT_EQ(shownFilters, QStringList({"Neuron palette (*.ncm)", "All files (*)"}));
  EXPECT_EQ(TOptions::Instance().Palette.File, palette.toStdString());
  EXPECT_EQ(Form->Palette().GetColorCount(), 1);

  // A setting without a directory starts in the program's; cancelling changes nothing.
  TOptions::Instance().Palette.File = "bare.ncm";
  QObject::disconnect(&answer, nullptr, nullptr, nullptr);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog)
      return;
    answer.stop();
    shownDirectory = dialog->directory().absolutePath();
    QMetaObject::invokeMethod(dialog, "reject");
  });
  answer.start(10);
  QTest::mouseClick(Child<QPushButton>("LoadPaletteBitBtn"), Qt::LeftButton);
  EXPECT_EQ(shownDirectory, QDir(QCoreApplication::applicationDirPath()).absolutePath());
  // Or in the palettes that come with the program, when they are beside it.
  const QString bundled = QCoreApplication::applicationDirPath() + "/samples/palettes";
  ASSERT_TRUE(QDir().mkpath(bundled));
  answer.start(10);
  QTest::mouseClick(Child<QPushButton>("LoadPaletteBitBtn"), Qt::LeftButton);
  QDir(QCoreApplication::applicationDirPath() + "/samples").removeRecursively();
  EXPECT_EQ(shownDirectory, bundled);
  EXPECT_EQ(TOptions::Instance().Palette.File, "bare.ncm");
  EXPECT_EQ(Form->Palette().GetColorCount(), 1);
  TNeuronDataFile &data = Form->Data();
  std::lock_guard<std::mutex> lock(data.GetFrameLock());
  const float *colors = data.GetCurrentColors();
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(colors[3 * k], 1.0f);
    EXPECT_EQ(colors[3 * k + 1], 0.0f);
    EXPECT_EQ(colors[3 * k + 2], 0.0f);
  }
}

TEST_F(ControlWindowTest, InfoButtonShowsOneInformationWindow) {
  Form->SetWindowNumber(4);
  Form->OpenFile(Path);
  TOptions::Instance().WindowInfo.Left = 50;
  TOptions::Instance().WindowInfo.Width = 300;
  Form->show();
  QTest::mouseClick(Child<QPushButton>("ShowInfoButton"), Qt::LeftButton);
  TShowInfoForm *info = nullptr;
  for (QWidget *window : QApplication::topLevelWidgets())
    if (window->objectName() == "ShowInfoForm4")
      info = qobject_cast<TShowInfoForm *>(window);
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(info->windowTitle(), "Info");
  EXPECT_EQ(info->width(), 300);
  EXPECT_TRUE(info->Memo->toPlainText().startsWith("soma\n"));
  info->close();
  QTest::mouseClick(Child<QPushButton>("ShowInfoButton"), Qt::LeftButton);
  EXPECT_TRUE(info->isVisible());
  int infos = 0;
  for (QWidget *window : QApplication::topLevelWidgets())
    infos += qobject_cast<TShowInfoForm *>(window) != nullptr;
  EXPECT_EQ(infos, 1);

  info->move(70, 80);
  info->resize(320, 240);
  info->hide();
  Form->move(33, 44);
  Form.reset();
  const TOptions &settings = TOptions::Instance();
  EXPECT_EQ(settings.WindowInfo.Width, 320);
  EXPECT_EQ(settings.WindowInfo.Height, 240);
  EXPECT_EQ(settings.ControlPanel.Left, 33);
  EXPECT_EQ(settings.ControlPanel.Top, 44);
}

TEST_F(ControlWindowTest, NeuronItemsFollowTheCheckMarks) {
  Form->OpenFile(Path);
  auto *items = Child<QListWidget>("NeuronItemCheckListBox");
  items->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(Form->Data().GetItemChecked()[1].load(), 0);
  EXPECT_EQ(Form->Data().GetItemChecked()[0].load(), 1);
  items->setCurrentRow(0);
  QTest::keyClick(items, Qt::Key_Return);
  EXPECT_EQ(items->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(Form->Data().GetItemChecked()[0].load(), 0);
  QTest::keyClick(items, Qt::Key_Enter);
  EXPECT_EQ(Form->Data().GetItemChecked()[0].load(), 1);
}

} // namespace
