#include "SampleDataFile.h"
#include "X11TestSupport.h"

#include "app/Application.h"
#include "app/DirectoryListBox.h"
#include "app/DirectoryOutline.h"
#include "app/FileBrowser.h"
#include "app/MainForm.h"
#include "control/DataControl.h"
#include "help/AboutProgram.h"
#include "help/ShowHelp.h"
#include "settings/IniFile.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

struct TShownBox {
  QWidget *Parent;
  QString Caption, Text;
  QMessageBox::Icon Icon;
  QMessageBox::StandardButtons Buttons;
};

void WriteFile(const QString &path, const std::string &bytes) {
  std::ofstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
  file << bytes;
}

// A data file header: signature, 8 bytes, description line.
std::string Header(const std::string &signature, const std::string &description) {
  return signature + "\n" + std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8) + description + "\n";
}

class MainFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    DataDir = Dir.path() + "/data";
    ASSERT_TRUE(QDir().mkpath(DataDir));
    TDendroviaApplication::PrepareOptions(ExePath());
  }

  void TearDown() override { TOptions::ReleaseInstance(); }

  QString ExePath() const { return Dir.path() + "/dendrovia"; }
  QString IniPath() const { return TDendroviaApplication::IniPathFor(ExePath()); }

  // An INI with the three usual columns, the data directory and extra lines.
  void WriteIni(const std::string &extra = {}) {
    WriteFile(IniPath(), "[Data]\nDirectory=" + DataDir.toStdString() +
                             "\n"
                             "[FilePanel]\n"
                             "Column1Title=Description\nColumn1Width=220\nColumn1DataType=2\n"
                             "Column2Title=Filename\nColumn2Width=120\nColumn2DataType=1\n"
                             "Column3Title=Last modified\nColumn3Width=140\nColumn3DataType=3\n"
                             "; kept comment\n" +
                             extra);
  }

  std::unique_ptr<TMainForm> Start() {
    auto form = std::make_unique<TMainForm>(IniPath());
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }

  template <class T> static T *Control(QWidget *form, const char *name) {
    T *control = form->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  static QStringList Column(QTableWidget *grid, int column) {
    QStringList texts;
    for (int row = 0; row < grid->rowCount(); ++row)
      texts << (grid->item(row, column) ? grid->item(row, column)->text() : QString());
    return texts;
  }

  QTemporaryDir Dir;
  QString DataDir;
  std::vector<TShownBox> Boxes;
  TScopedMessageBoxHandler BoxHandler{[this](QWidget *parent, const QString &caption,
                                             const QString &text, QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons) {
    Boxes.push_back({parent, caption, text, icon, buttons});
    return QMessageBox::Ok;
  }};
};

} // namespace

TEST_F(MainFormTest, RestoresAndStoresBoundsLayoutSplitterAndColumns) {
  WriteIni("[MainForm]\nState=0\nLeft=100\nTop=80\nWidth=700\nHeight=500\nSplitter=200\n"
           "[DirectoryPanel]\nOutlook=0\n[Custom]\nOther=1\n");
  auto form = Start();
  auto *directoryPanel = Control<QWidget>(form.get(), "DirectoryPanel");
  auto *list = Control<TDirectoryListBox>(form.get(), "DirectoryListPanel");
  auto *outline = Control<TDirectoryOutline>(form.get(), "DirectoryOutlinePanel");
  auto *listAction = Control<QAction>(form.get(), "DirectoryListAction");
  auto *outlineAction = Control<QAction>(form.get(), "DirectoryOutlineAction");
  auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
  auto *statusBar = Control<QStatusBar>(form.get(), "StatusBar");
  TOptions &options = TOptions::Instance();

  EXPECT_EQ(form->windowTitle(), "Dendrovia");
  EXPECT_EQ(form->pos(), QPoint(100, 80));
  EXPECT_EQ(form->size(), QSize(700, 500));
  EXPECT_EQ(directoryPanel->width(), 200);
  EXPECT_TRUE(list->isVisible());
  EXPECT_FALSE(outline->isVisible());
  EXPECT_TRUE(listAction->isChecked());
  EXPECT_FALSE(outlineAction->isChecked());
  EXPECT_EQ(list->Directory(), DataDir);
  EXPECT_EQ(statusBar->findChild<QLabel *>()->text(), " For Help, press F1");
  EXPECT_EQ(Control<QComboBox>(form.get(), "DriveComboBox")->currentData().toString(),
            QStorageInfo(DataDir).rootPath());
  ASSERT_EQ(grid->columnCount(), 3);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Description");
  EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Last modified");
  EXPECT_EQ(grid->columnWidth(0), 220);
  EXPECT_EQ(grid->columnWidth(1), 120);
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->rowHeight(0), 18);

  // The context menu offers the two layouts.
  auto *popup = Control<QMenu>(form.get(), "DirectoryPanelPopupMenu");
  ASSERT_EQ(popup->actions().size(), 1);
  EXPECT_EQ(popup->actions()[0]->text(), "Directory Layout");
  EXPECT_EQ(popup->actions()[0]->menu()->actions(), (QList<QAction *>{listAction, outlineAction}));

  form->resize(900, 650);
  EXPECT_TRUE(QTest::qWaitFor([&] { return options.MainForm.Width == 900; }));
  EXPECT_EQ(options.MainForm.Height, 650);
  // Moving without resizing does not count.
  form->move(150, 120);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->pos() == QPoint(150, 120); }));
  QTest::qWait(50);
  EXPECT_EQ(options.MainForm.Left, 100);
  EXPECT_EQ(options.MainForm.Top, 80);

  outlineAction->trigger();
  EXPECT_TRUE(outline->isVisible());
  EXPECT_FALSE(list->isVisible());
  EXPECT_TRUE(outlineAction->isChecked());
  EXPECT_FALSE(listAction->isChecked());
  EXPECT_EQ(options.DirectoryPanel.Outlook, 1);
  EXPECT_EQ(outline->Directory(), DataDir);
  // Choosing the layout already shown changes nothing.
  outlineAction->trigger();
  EXPECT_TRUE(outlineAction->isChecked());
  EXPECT_TRUE(outline->isVisible());
  EXPECT_EQ(options.DirectoryPanel.Outlook, 1);

  QSplitterHandle *handle = Control<QSplitter>(form.get(), "Splitter1")->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip + QPoint(60, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(60, 0));
  const int dragged = directoryPanel->width();
  EXPECT_NEAR(dragged, 260, 2);

  form->close();
  form.reset();

  TIniFile ini;
  ASSERT_TRUE(ini.Load(IniPath().toStdString()));
  EXPECT_EQ(ini.Integer("MainForm", "Width"), 900);
  EXPECT_EQ(ini.Integer("MainForm", "Height"), 650);
  EXPECT_EQ(ini.Integer("MainForm", "Left"), 100);
  EXPECT_EQ(ini.Integer("MainForm", "Top"), 80);
  EXPECT_EQ(ini.Integer("MainForm", "State"), 0);
  EXPECT_EQ(ini.Integer("MainForm", "Splitter"), dragged);
  EXPECT_EQ(ini.Integer("DirectoryPanel", "Outlook"), 1);
  EXPECT_EQ(ini.Value("FilePanel", "Column3Title"), "Last modified");
  EXPECT_EQ(ini.Integer("FilePanel", "Column3Width"), 140);
  EXPECT_EQ(ini.Integer("Custom", "Other"), 1);
}

TEST_F(MainFormTest, APaneWiderThanTheNormalWindowIsSavedSoThatItIsTakenBack) {
  WriteIni("[MainForm]\nState=0\nLeft=100\nTop=80\nWidth=700\nHeight=500\nSplitter=200\n");
  auto form = Start();
  auto *splitter = Control<QSplitter>(form.get(), "Splitter1");
  // A maximised session: the window is wider than its normal bounds.
  MaximiseAsWindowManager(*form, QSize(1600, 900));
  splitter->setSizes({1000, 597});
  EXPECT_EQ(Control<QWidget>(form.get(), "DirectoryPanel")->width(), 1000);
  form.reset();

  TIniFile ini;
  ASSERT_TRUE(ini.Load(IniPath().toStdString()));
  EXPECT_EQ(ini.Integer("MainForm", "State"), 2);
  EXPECT_EQ(ini.Integer("MainForm", "Width"), 700);
  const int saved = ini.Integer("MainForm", "Splitter").value_or(-1);
  EXPECT_GT(saved, 200);
  EXPECT_LT(saved, 700);
  TOptions::ReleaseInstance();
  TOptions &options = TOptions::Instance();
  options.LoadFromIni(IniPath().toStdString());
  EXPECT_EQ(options.MainForm.Splitter, saved);

  // A pane that fits is saved as it is.
  ini.SetInteger("MainForm", "State", 0);
  ini.Save(IniPath().toStdString());
  TOptions::ReleaseInstance();
  form = Start();
  Control<QSplitter>(form.get(), "Splitter1")->setSizes({300, 397});
  form.reset();
  ASSERT_TRUE(ini.Load(IniPath().toStdString()));
  EXPECT_EQ(ini.Integer("MainForm", "Splitter"), 300);
}

TEST_F(MainFormTest, LegacyTitlesAreShownReadablyAndWrittenBackAsTheyWere) {
  // Cyrillic "Opisanie" in code page 1251.
  const std::string title = "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5";
  WriteFile(IniPath(), "[MainForm]\nWidth=700\n[Data]\nDirectory=" + DataDir.toStdString() +
                           "\n[FilePanel]\nColumn1Title=" + title +
                           "\nColumn1Width=220\nColumn1DataType=2\n");
  auto form = Start();
  const QString shown =
      Control<QTableWidget>(form.get(), "FileStringGrid")->horizontalHeaderItem(0)->text();
  EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter));
  EXPECT_EQ(shown.size(), 8);
  form->resize(750, 500);
  ASSERT_TRUE(QTest::qWaitFor([] { return TOptions::Instance().MainForm.Width == 750; }));
  form.reset();
  std::ifstream file(IniPath().toStdString(), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Width=750\n"), std::string::npos);
  EXPECT_NE(text.find("\nColumn1Title=" + title + "\n"), std::string::npos);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MainFormTest, SettingsThatCannotBeSavedAreReportedAtExit) {
  const std::string unreadable("[MainForm]\nWidth=700\n\0\n", 22);
  WriteFile(IniPath(), unreadable);
  auto form = Start();
  form->resize(750, 500);
  form.reset();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Caption, "Saving options");
  EXPECT_TRUE(Boxes[0].Text.contains(IniPath()));
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  std::ifstream file(IniPath().toStdString(), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()),
            unreadable);
}

TEST_F(MainFormTest, DraggedColumnsAreSavedInTheirNewOrder) {
  WriteFile(DataDir + "/a.dat", Header("MTSD", "Cell 7 run"));
  WriteFile(DataDir + "/b.dat", Header("MTSD", "Second"));
  WriteIni();
  auto form = Start();
  auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
  QHeaderView *header = grid->horizontalHeader();
  ASSERT_EQ(grid->rowCount(), 2);
  grid->selectRow(1);
  const QStringList names = Column(grid, 1);

  // Drag "Filename" onto the left part of "Description".
  const int y = header->height() / 2;
  const QPoint from(header->sectionViewportPosition(1) + 40, y);
  const QPoint to(header->sectionViewportPosition(0) + 10, y);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(header->viewport(), from - QPoint(20, 0));
  QTest::mouseMove(header->viewport(), to);
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, to);

  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Filename");
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Description");
  EXPECT_EQ(header->logicalIndex(0), 0); // the column moved, not just its header
  EXPECT_EQ(grid->columnWidth(0), 120);
  EXPECT_EQ(Column(grid, 0), names);
  for (int row = 0; row < 2; ++row)
    EXPECT_EQ(grid->item(row, 1)->text(), names[row] == "a.dat" ? "Cell 7 run" : "Second");
  EXPECT_EQ(TOptions::Instance().ColumnDataType(0), 1);
  // The whole row stays selected.
  EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 3);
  EXPECT_EQ(grid->currentRow(), 1);
  EXPECT_EQ(form->SelectedFilePath(), DataDir + "/" + names[1]);

  grid->setColumnWidth(1, 250);
  form.reset();

  TIniFile ini;
  ASSERT_TRUE(ini.Load(IniPath().toStdString()));
  EXPECT_EQ(ini.Value("FilePanel", "Column1Title"), "Filename");
  EXPECT_EQ(ini.Integer("FilePanel", "Column1DataType"), 1);
  EXPECT_EQ(ini.Integer("FilePanel", "Column1Width"), 120);
  EXPECT_EQ(ini.Value("FilePanel", "Column2Title"), "Description");
  EXPECT_EQ(ini.Integer("FilePanel", "Column2DataType"), 2);
  EXPECT_EQ(ini.Integer("FilePanel", "Column2Width"), 250);
}

TEST_F(MainFormTest, ListsDataFilesAndFollowsTheDirectoryControls) {
  WriteFile(DataDir + "/a.dat", Header("MTSD", "Cell 7 run"));
  WriteFile(DataDir + "/b.DAT", Header("mtsd", "not shown"));
  WriteFile(DataDir + "/c.data", Header("MTSD", "too long an extension"));
  WriteFile(DataDir + "/.h.dat", Header("MTSD", "hidden"));
  ASSERT_TRUE(QDir(DataDir).mkdir("d.dat"));
  const QString other = Dir.path() + "/other";
  ASSERT_TRUE(QDir().mkpath(other));
  WriteFile(other + "/x.dat", Header("MTSD", "Other cell"));
  const QString upper = Dir.path() + "/DATA";
  ASSERT_TRUE(QDir().mkpath(upper));
  WriteFile(upper + "/upper.dat", Header("MTSD", "Upper"));
  WriteIni();

  auto form = Start();
  auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
  auto *list = Control<TDirectoryListBox>(form.get(), "DirectoryListPanel");
  auto *outline = Control<TDirectoryOutline>(form.get(), "DirectoryOutlinePanel");
  TOptions &options = TOptions::Instance();

  QStringList names, dates, descriptions;
  for (const TDataFileEntry &file : ListDataFiles(DataDir, "dat")) {
    names << file.Name;
    dates << FileDateText(file.LastWrite, QLocale::system());
    descriptions << (file.Name == "a.dat" ? "Cell 7 run" : "");
  }
  ASSERT_EQ(names.size(), 2);
  EXPECT_TRUE(names.contains("a.dat") && names.contains("b.DAT"));
  EXPECT_EQ(Column(grid, 0), descriptions);
  EXPECT_EQ(Column(grid, 1), names);
  EXPECT_EQ(Column(grid, 2), dates);
  grid->selectRow(1);
  EXPECT_EQ(form->SelectedFilePath(), DataDir + "/" + names[1]);

  // A double click in the directory list moves there.
  list->SetDirectory(Dir.path());
  EXPECT_EQ(QString::fromStdString(options.Data.Directory), Dir.path());
  EXPECT_EQ(Column(grid, 1), QStringList{""});
  QListWidgetItem *otherItem = nullptr;
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->data(Qt::UserRole).toString() == other)
      otherItem = list->item(row);
  ASSERT_NE(otherItem, nullptr);
  const QPoint itemCentre = list->visualItemRect(otherItem).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemCentre);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, itemCentre);
  EXPECT_EQ(list->Directory(), other);
  EXPECT_EQ(QString::fromStdString(options.Data.Directory), other);
  EXPECT_EQ(Column(grid, 0), QStringList{"Other cell"});
  EXPECT_EQ(Column(grid, 1), QStringList{"x.dat"});

  // Back in the data directory a new file shows; a directory whose name differs
  // only in letter case is another directory here, and shows its own files.
  WriteFile(DataDir + "/new.dat", Header("MTSD", "New"));
  list->SetDirectory(DataDir);
  EXPECT_EQ(grid->rowCount(), 3);
  list->SetDirectory(upper);
  EXPECT_EQ(QString::fromStdString(options.Data.Directory), upper);
  EXPECT_EQ(Column(grid, 1), QStringList{"upper.dat"});
  EXPECT_EQ(form->SelectedFilePath(), upper + "/upper.dat");

  // The outline, once shown, leads the same way.
  Control<QAction>(form.get(), "DirectoryOutlineAction")->trigger();
  EXPECT_EQ(outline->Directory(), upper);
  outline->SetDirectory(other);
  EXPECT_EQ(QString::fromStdString(options.Data.Directory), other);
  EXPECT_EQ(Column(grid, 1), QStringList{"x.dat"});
  // The hidden list does not.
  list->SetDirectory(DataDir);
  EXPECT_EQ(QString::fromStdString(options.Data.Directory), other);

  // A directory that vanished empties the list and is forgotten, so it is read
  // again once it is back.
  options.Data.Directory = (Dir.path() + "/gone").toStdString();
  form->RefreshFileList();
  EXPECT_EQ(Column(grid, 1), QStringList{""});
  EXPECT_EQ(form->LastListedDirectory(), "");
  options.Data.Directory = other.toStdString();
  form->RefreshFileList();
  EXPECT_EQ(Column(grid, 1), QStringList{"x.dat"});
}

TEST_F(MainFormTest, ChoosingAnotherVolumeMovesTheDirectoryControls) {
  WriteIni("[DirectoryPanel]\nOutlook=1\n");
  auto form = Start();
  auto *drives = Control<QComboBox>(form.get(), "DriveComboBox");
  auto *list = Control<TDirectoryListBox>(form.get(), "DirectoryListPanel");
  auto *outline = Control<TDirectoryOutline>(form.get(), "DirectoryOutlinePanel");
  const QString home = QStorageInfo(DataDir).rootPath();
  int index = -1;
  for (int i = 0; i < drives->count() && index < 0; ++i)
    if (drives->itemData(i).toString() != home && QFileInfo(drives->itemData(i).toString()).isDir())
      index = i;
  if (index < 0)
    GTEST_SKIP() << "only one volume is mounted";
  const QString root = drives->itemData(index).toString();
  drives->setCurrentIndex(index);
  emit drives->activated(index);
  EXPECT_EQ(list->Directory(), root);
  EXPECT_EQ(outline->Directory(), root);
  EXPECT_EQ(QString::fromStdString(TOptions::Instance().Data.Directory), root);
}

TEST_F(MainFormTest, WithoutIniDefaultsApplyAndNothingIsWritten) {
  auto form = Start();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form->size(), QSize(800, 600));
  EXPECT_EQ(form->pos(), QPoint((screen.width() - 800) / 2, (screen.height() - 600) / 2));
  EXPECT_EQ(Control<QWidget>(form.get(), "DirectoryPanel")->width(), 250);
  auto *list = Control<TDirectoryListBox>(form.get(), "DirectoryListPanel");
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(list->Directory(), Dir.path());
  auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
  EXPECT_EQ(grid->columnCount(), 1);
  EXPECT_EQ(grid->columnWidth(0), 0);
  // Directory changes are not followed without settings.
  list->SetDirectory(DataDir);
  EXPECT_EQ(QString::fromStdString(TOptions::Instance().Data.Directory), Dir.path());
  form.reset();
  EXPECT_FALSE(QFileInfo::exists(IniPath()));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MainFormTest, MissingPaletteFileIsReportedThroughTheMessageSeam) {
  WriteIni("[Palette]\nFile=" + (Dir.path() + "/none.ncm").toStdString() + "\n");
  auto form = Start();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Parent, nullptr);
  EXPECT_EQ(Boxes[0].Caption, "Loading options");
  EXPECT_EQ(Boxes[0].Text, "File " + Dir.path() + "/none.ncm not found");
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Boxes[0].Buttons, QMessageBox::Ok);
}

TEST_F(MainFormTest, F1ShowsHelpAndCtrlF1AboutFromAnyControl) {
  WriteFile(DataDir + "/a.dat", Header("MTSD", "A"));
  WriteFile(DataDir + "/b.dat", Header("MTSD", "B"));
  WriteIni();
  auto form = Start();
  TAboutForm about;
  TShowHelpForm help;
  form->SetHelpWindows(&about, &help);
  auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
  grid->setFocus();

  const auto modalAfter = [](QWidget *target, Qt::KeyboardModifiers modifiers) {
    auto seen = std::make_shared<QWidget *>(nullptr);
    QTimer::singleShot(0, [seen] {
      *seen = QApplication::activeModalWidget();
      if (auto *dialog = qobject_cast<QDialog *>(*seen))
        dialog->reject();
    });
    QTest::keyClick(target, Qt::Key_F1, modifiers);
    QCoreApplication::processEvents();
    return *seen;
  };
  EXPECT_EQ(modalAfter(grid, Qt::NoModifier), &help);
  EXPECT_EQ(modalAfter(grid, Qt::ShiftModifier), &help);
  EXPECT_EQ(modalAfter(grid, Qt::AltModifier), &help);
  EXPECT_EQ(modalAfter(grid, Qt::ControlModifier), &about);
  EXPECT_EQ(modalAfter(grid, Qt::ControlModifier | Qt::ShiftModifier), &about);
  EXPECT_EQ(modalAfter(Control<QWidget>(form.get(), "DirectoryListPanel"), Qt::NoModifier), &help);
  EXPECT_EQ(modalAfter(Control<QWidget>(form.get(), "DriveComboBox"), Qt::ControlModifier), &about);

  // Other keys reach the control.
  grid->setCurrentCell(0, 0);
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(grid->currentRow(), 1);

  // F1 in another window is not the main window's business.
  QWidget elsewhere;
  elsewhere.show();
  EXPECT_EQ(modalAfter(&elsewhere, Qt::NoModifier), nullptr);
}

namespace {

struct TOpenedFiles {
  QStringList Captions;
  QString Directory, SelectedName;
};

TOpenedFiles Opened(TMainForm &form) {
  TOpenedFiles opened;
  auto *grid = form.findChild<QTableWidget *>("FileStringGrid");
  for (TDataControlForm *window : form.OpenControlWindows()) {
    EXPECT_EQ(window->objectName(), QString("DataControlForm%1").arg(opened.Captions.size() + 1));
    EXPECT_EQ(window->pos(), QPoint(TOptions::Instance().ControlPanel.Left,
                                    TOptions::Instance().ControlPanel.Top));
    EXPECT_TRUE(window->isVisible());
    opened.Captions << window->windowTitle();
  }
  opened.Directory = QString::fromStdString(TOptions::Instance().Data.Directory);
  if (const QTableWidgetItem *cell = grid->item(grid->currentRow(), 1))
    opened.SelectedName = cell->text();
  return opened;
}

} // namespace

TEST_F(MainFormTest, FilesGivenAtOnceOpenInTheirOwnWindowsAndUnreadableOnesAreNamed) {
  const QString other = Dir.path() + "/other";
  ASSERT_TRUE(QDir().mkpath(other));
  for (const QString &path : {DataDir + "/a.dat", DataDir + "/b.dat", other + "/c.dat"})
    ASSERT_TRUE(WriteSampleDataFile(path.toStdString(), FrameTimes(0.0, 1.0, 2.0)));
  QFile notes(DataDir + "/notes.dat");
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("shopping list\n");
  notes.close();
  const QString missing = Dir.path() + "/gone/missing.dat";
  const struct {
    const char *Name;
    QStringList Paths;
    QStringList Captions;
    QString Directory;
    const char *SelectedName; // nullptr: the row selected before
    QString Box;              // empty: no box
    // What the terminal gets besides the box's lines.
    std::string Errors = {};
  } cases[] = {
      {"two files and a missing one",
       {DataDir + "/b.dat", missing, DataDir + "/a.dat"},
       {"Data Control - b.dat", "Data Control - a.dat"},
       DataDir,
       "b.dat",
       "Cannot open\n" + missing + ": No such file or directory"},
      {"the first one missing: the next one's folder is listed",
       {missing, other + "/c.dat"},
       {"Data Control - c.dat"},
       other,
       "c.dat",
       "Cannot open\n" + missing + ": No such file or directory"},
      {"a folder is no data file",
       {other},
       {},
       DataDir,
       nullptr,
       "Cannot open\n" + other + ": It is a folder"},
      {"the same file twice",
       {other + "/c.dat", other + "/c.dat"},
       {"Data Control - c.dat", "Data Control - c.dat"},
       other,
       "c.dat",
       ""},
      {"a file that opens but is no data file: its window opens and says why",
       {DataDir + "/notes.dat"},
       {"Data Control - notes.dat"},
       DataDir,
       "notes.dat",
       "",
       "dendrovia: " + DataDir.toStdString() +
           "/notes.dat: not a simulation data file: it does not start with MTSD\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    WriteIni();
    Boxes.clear();
    auto form = Start();
    testing::internal::CaptureStderr();
    form->OpenFiles(c.Paths, true);
    const std::string errors = testing::internal::GetCapturedStderr();
    const TOpenedFiles opened = Opened(*form);
    EXPECT_EQ(opened.Captions, c.Captions);
    EXPECT_EQ(opened.Directory, c.Directory);
    if (c.SelectedName != nullptr) {
      EXPECT_EQ(opened.SelectedName, c.SelectedName);
    }
    if (c.Box.isEmpty()) {
      EXPECT_TRUE(Boxes.empty());
      EXPECT_EQ(errors, c.Errors);
      continue;
    }
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Parent, form.get());
    EXPECT_EQ(Boxes[0].Caption, "Opening files");
    EXPECT_EQ(Boxes[0].Text, c.Box);
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(errors, "dendrovia: " + c.Box.section('\n', 1).toStdString() + "\n");
  }
}

TEST_F(MainFormTest, LocalFilesDroppedFromAFileManagerOpen) {
  for (const char *name : {"/a.dat", "/b.dat"})
    ASSERT_TRUE(WriteSampleDataFile((DataDir + name).toStdString(), FrameTimes(0.0, 1.0, 2.0)));
  const QString url = QUrl::fromLocalFile(DataDir).toString();
  const struct {
    const char *Name;
    QByteArray UriList;
    bool Accepted;
    QStringList Captions;
    int Boxes;
  } cases[] = {
      {"local files, one missing",
       (url + "/b.dat\r\n" + url + "/a.dat\r\n" + url + "/missing.dat\r\n").toUtf8(),
       true,
       {"Data Control - b.dat", "Data Control - a.dat"},
       1},
      {"web addresses only", "http://example.org/a.dat\r\n", false, {}, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    WriteIni();
    Boxes.clear();
    auto form = Start();
    auto *grid = Control<QTableWidget>(form.get(), "FileStringGrid");
    EXPECT_EQ(DropUriListAsFileManager(*form, grid->mapToGlobal(grid->rect().center()), c.UriList),
              c.Accepted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Opened(*form).Captions == c.Captions; }, 3000));
    QTest::qWait(50);
    EXPECT_EQ(Opened(*form).Captions, c.Captions);
    EXPECT_EQ(static_cast<int>(Boxes.size()), c.Boxes);
  }
}
