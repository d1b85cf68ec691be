#include "app/MainForm.h"

#include "app/DirectoryListBox.h"
#include "app/DirectoryOutline.h"
#include "app/FileBrowser.h"
#include "control/DataControl.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int StatusBarHeight = 19;
constexpr int DrivePanelHeight = 23;
constexpr int SplitterWidth = 3;
constexpr int GridRowHeight = 18;

// The hourglass for the lifetime of the object, also when an exception ends it.
class TWaitCursor {
public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor &) = delete;
  TWaitCursor &operator=(const TWaitCursor &) = delete;
};

QString ToQString(const std::string &text) {
  return QString::fromStdString(text);
}

QWidget *NewPanel(const char *name, QWidget *parent) {
  auto *panel = new QWidget(parent);
  panel->setObjectName(QString::fromLatin1(name));
  return panel;
}

template <class TLayout> TLayout *NewLayout(QWidget *panel) {
  auto *layout = new TLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return layout;
}

uint8_t StateOf(Qt::WindowStates states) {
  if (states & Qt::WindowMinimized)
    return 1;
  if (states & Qt::WindowMaximized)
    return 2;
  return 0;
}

Qt::WindowState WindowStateOf(uint8_t state) {
  switch (state) {
  case 1:
    return Qt::WindowMinimized;
  case 2:
    return Qt::WindowMaximized;
  default:
    return Qt::WindowNoState;
  }
}

// Why a data file cannot be opened for reading; empty when it can.
QString UnreadableReason(const QString &path) {
  if (QFileInfo(path).isDir())
    return QStringLiteral("It is a folder");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return file.errorString();
  return {};
}

QStringList LocalFiles(const QMimeData *data) {
  QStringList files;
  if (data != nullptr)
    for (const QUrl &url : data->urls())
      if (url.isLocalFile())
        files << url.toLocalFile();
  return files;
}

} // namespace

TMainForm::TMainForm(const QString &iniPath, QWidget *parent)
    : QMainWindow(parent), IniFilePath_(iniPath) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Dendrovia"));
  setAcceptDrops(true);
  CreateControls();
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::CreateControls() {
  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setFixedHeight(StatusBarHeight);
  StatusBar->setSizeGripEnabled(false);
  StatusText = new QLabel(StatusBar);
  StatusBar->addWidget(StatusText, 1);
  setStatusBar(StatusBar);

  MainPanel = NewPanel("MainPanel", this);
  NewLayout<QHBoxLayout>(MainPanel);
  setCentralWidget(MainPanel);

  Splitter1 = new QSplitter(Qt::Horizontal, MainPanel);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(SplitterWidth);
  Splitter1->setChildrenCollapsible(false);
  MainPanel->layout()->addWidget(Splitter1);

  DirectoryPanel = NewPanel("DirectoryPanel", Splitter1);
  auto *directoryLayout = NewLayout<QVBoxLayout>(DirectoryPanel);
  DrivePanel = NewPanel("DrivePanel", DirectoryPanel);
  DrivePanel->setFixedHeight(DrivePanelHeight);
  NewLayout<QHBoxLayout>(DrivePanel);
  DriveComboBox = new QComboBox(DrivePanel);
  DriveComboBox->setObjectName(QStringLiteral("DriveComboBox"));
  DrivePanel->layout()->addWidget(DriveComboBox);
  directoryLayout->addWidget(DrivePanel);

  TreePanel = NewPanel("TreePanel", DirectoryPanel);
  auto *treeLayout = NewLayout<QVBoxLayout>(TreePanel);
  DirectoryListPanel = new TDirectoryListBox(TreePanel);
  DirectoryListPanel->setObjectName(QStringLiteral("DirectoryListPanel"));
  DirectoryListPanel->hide();
  treeLayout->addWidget(DirectoryListPanel);
  DirectoryOutlinePanel = new TDirectoryOutline(TreePanel);
  DirectoryOutlinePanel->setObjectName(QStringLiteral("DirectoryOutlinePanel"));
  DirectoryOutlinePanel->hide();
  treeLayout->addWidget(DirectoryOutlinePanel);
  directoryLayout->addWidget(TreePanel, 1);

  FilePanel = NewPanel("FilePanel", Splitter1);
  NewLayout<QVBoxLayout>(FilePanel);
  FileStringGrid = new QTableWidget(FilePanel);
  FileStringGrid->setObjectName(QStringLiteral("FileStringGrid"));
  FileStringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FileStringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  FileStringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  FileStringGrid->setShowGrid(true);
  FileStringGrid->setWordWrap(false);
  FileStringGrid->verticalHeader()->hide();
  FileStringGrid->verticalHeader()->setMinimumSectionSize(GridRowHeight);
  FileStringGrid->verticalHeader()->setDefaultSectionSize(GridRowHeight);
  FileStringGrid->horizontalHeader()->setSectionsMovable(true);
  FileStringGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  FileStringGrid->horizontalHeader()->setMinimumSectionSize(0);
  FileStringGrid->horizontalHeader()->setStretchLastSection(false);
  FilePanel->layout()->addWidget(FileStringGrid);

  Splitter1->addWidget(DirectoryPanel);
  Splitter1->addWidget(FilePanel);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);

  DirectoryListAction = new QAction(QStringLiteral("Directory List"), this);
  DirectoryListAction->setObjectName(QStringLiteral("DirectoryListAction"));
  DirectoryOutlineAction = new QAction(QStringLiteral("Directory Outline"), this);
  DirectoryOutlineAction->setObjectName(QStringLiteral("DirectoryOutlineAction"));
  // Exclusive, so that choosing the layout already shown keeps its check mark.
  auto *layoutGroup = new QActionGroup(this);
  for (QAction *action : {DirectoryListAction, DirectoryOutlineAction}) {
    action->setCheckable(true);
    layoutGroup->addAction(action);
  }
  connect(DirectoryListAction, &QAction::triggered, this, [this] { DirectoryListActionExecute(); });
  connect(DirectoryOutlineAction, &QAction::triggered, this,
          [this] { DirectoryOutlineActionExecute(); });

  DirectoryPanelPopupMenu = new QMenu(this);
  DirectoryPanelPopupMenu->setObjectName(QStringLiteral("DirectoryPanelPopupMenu"));
  QMenu *layoutMenu = DirectoryPanelPopupMenu->addMenu(QStringLiteral("Directory Layout"));
  layoutMenu->addAction(DirectoryListAction);
  layoutMenu->addAction(DirectoryOutlineAction);
  for (QAbstractItemView *control : {static_cast<QAbstractItemView *>(DirectoryListPanel),
                                     static_cast<QAbstractItemView *>(DirectoryOutlinePanel)}) {
    control->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(control, &QWidget::customContextMenuRequested, this, [this, control](QPoint pos) {
      DirectoryPanelPopupMenu->popup(control->viewport()->mapToGlobal(pos));
    });
  }

  connect(DriveComboBox, &QComboBox::activated, this, [this] { DriveComboBoxChange(); });
  connect(DirectoryListPanel, &TDirectoryListBox::Changed, this,
          [this] { DirectoryListPanelChange(); });
  connect(DirectoryOutlinePanel, &TDirectoryOutline::Changed, this,
          [this] { DirectoryOutlinePanelChange(); });
  connect(FileStringGrid->horizontalHeader(), &QHeaderView::sectionMoved, this,
          [this](int logical, int from, int to) { FileStringGridColumnMoved(logical, from, to); });
  connect(FileStringGrid, &QTableWidget::cellDoubleClicked, this,
          [this] { FileStringGridDblClick(); });
  FileStringGrid->installEventFilter(this);
  // Keys of every control of this window pass here first (F1, Ctrl+F1).
  qApp->installEventFilter(this);
}

void TMainForm::FormCreate() {
  TOptions &options = TOptions::Instance();
  options.LoadFromIni(QFile::encodeName(IniFilePath_).toStdString());

  move(options.MainForm.Left, options.MainForm.Top);
  resize(options.MainForm.Width, options.MainForm.Height);
  setWindowState(WindowStateOf(options.MainForm.State));

  Splitter1->setSizes(
      {options.MainForm.Splitter,
       std::max(1, options.MainForm.Width - options.MainForm.Splitter - SplitterWidth)});

  ApplyDirectoryLayout(options.DirectoryPanel.Outlook);

  const int columns = std::max(1, options.ColumnCount());
  FileStringGrid->setColumnCount(columns);
  FileStringGrid->setRowCount(1);
  for (int column = 0; column < columns; ++column) {
    FileStringGrid->setHorizontalHeaderItem(
        column, new QTableWidgetItem(SettingsText(options.ColumnTitle(column))));
    FileStringGrid->setColumnWidth(column, options.ColumnWidth(column));
  }

  FillDriveComboBox();
  const QString directory = ToQString(options.Data.Directory);
  SelectDriveOf(directory);
  DirectoryListPanel->SetDirectory(directory);
  DirectoryOutlinePanel->SetDirectory(directory);

  RefreshFileList();

  StartupFinished = true;

  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [this] { ApplicationIdle(); });

  StatusText->setText(QStringLiteral(" For Help, press F1"));
}

void TMainForm::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TMainForm::FormResize() {
  if (!StartupFinished)
    return;
  TOptions &options = TOptions::Instance();
  options.MainForm.State = StateOf(windowState());
  // Maximised or minimised bounds are not worth keeping: the normal bounds stay,
  // so that the window comes back to them after a maximised run.
  if (options.MainForm.State != 0)
    return;
  options.MainForm.Left = pos().x();
  options.MainForm.Top = pos().y();
  options.MainForm.Width = width();
  options.MainForm.Height = height();
}

void TMainForm::closeEvent(QCloseEvent *event) {
  QMainWindow::closeEvent(event);
  // Closing the main window ends the program, also with Control Windows open.
  if (event->isAccepted())
    QCoreApplication::quit();
}

void TMainForm::FormDestroy() {
  qApp->removeEventFilter(this);
  // Emptied before the windows go: their destruction processes events, and
  // the idle handler must not find them in the list then.
  std::vector<std::unique_ptr<TDataControlForm>> windows = std::move(ControlWindows);
  ControlWindows.clear();
  windows.clear();

  TOptions &options = TOptions::Instance();
  options.MainForm.State = StateOf(windowState());
  // The pane of a maximised window may be wider than the normal bounds that are
  // saved; it is kept as un-maximising would leave it, with the file list at its
  // narrowest, so that the next start accepts it.
  options.MainForm.Splitter =
      std::min(DirectoryPanel->width(), std::max(0, options.MainForm.Width - SplitterWidth -
                                                        FilePanel->minimumSizeHint().width()));
  for (int column = 0; column < FileStringGrid->columnCount(); ++column) {
    const QTableWidgetItem *header = FileStringGrid->horizontalHeaderItem(column);
    // A title the user did not change goes back as the bytes it was read from.
    options.SetColumnTitle(column, header
                                       ? SettingsBytes(header->text(), options.ColumnTitle(column))
                                       : std::string());
    options.SetColumnWidth(column, FileStringGrid->columnWidth(column));
  }
  options.SaveToIni(QFile::encodeName(IniFilePath_).toStdString());
  TOptions::ReleaseInstance();
}

void TMainForm::SetHelpWindows(QDialog *aboutWindow, QDialog *helpWindow) {
  AboutWindow = aboutWindow;
  HelpWindow = helpWindow;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(event);
    if (FormKeyDown(watched, key->key(), key->modifiers()))
      return true;
    if (watched == FileStringGrid &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      FileStringGridKeyPress();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::FormKeyDown(QObject *watched, int key, Qt::KeyboardModifiers modifiers) {
  const auto *widget = qobject_cast<QWidget *>(watched);
  if (key != Qt::Key_F1 || !widget || widget->window() != this)
    return false;
  QDialog *window = modifiers.testFlag(Qt::ControlModifier) ? AboutWindow : HelpWindow;
  if (window)
    window->exec();
  return true;
}

void TMainForm::ApplyDirectoryLayout(int outlook) {
  const bool outline = outlook == 1;
  DirectoryOutlinePanel->setVisible(outline);
  DirectoryListPanel->setVisible(!outline);
  DirectoryOutlineAction->setChecked(outline);
  DirectoryListAction->setChecked(!outline);
}

void TMainForm::DirectoryListActionExecute() {
  TOptions &options = TOptions::Instance();
  if (options.DirectoryPanel.Outlook == 0)
    return;
  options.DirectoryPanel.Outlook = 0;
  ApplyDirectoryLayout(0);
  DirectoryListPanel->SetDrive(SelectedDrive());
  DirectoryListPanel->SetDirectory(ToQString(options.Data.Directory));
}

void TMainForm::DirectoryOutlineActionExecute() {
  TOptions &options = TOptions::Instance();
  if (options.DirectoryPanel.Outlook == 1)
    return;
  options.DirectoryPanel.Outlook = 1;
  ApplyDirectoryLayout(1);
  DirectoryOutlinePanel->SetDrive(SelectedDrive());
  DirectoryOutlinePanel->SetDirectory(ToQString(options.Data.Directory));
}

void TMainForm::FillDriveComboBox() {
  const QSignalBlocker blocker(DriveComboBox);
  DriveComboBox->clear();
  for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady())
      DriveComboBox->addItem(volume.rootPath(), volume.rootPath());
}

void TMainForm::SelectDriveOf(const QString &directory) {
  const QString root = QStorageInfo(directory).rootPath();
  if (root.isEmpty())
    return;
  const QSignalBlocker blocker(DriveComboBox);
  int index = DriveComboBox->findData(root);
  if (index < 0) {
    DriveComboBox->addItem(root, root);
    index = DriveComboBox->count() - 1;
  }
  DriveComboBox->setCurrentIndex(index);
}

QString TMainForm::SelectedDrive() const {
  return DriveComboBox->currentData().toString();
}

void TMainForm::DriveComboBoxChange() {
  // The directory list follows the drive by itself, the outline only when shown.
  DirectoryListPanel->SetDrive(SelectedDrive());
  if (TOptions::Instance().DirectoryPanel.Outlook == 1)
    DirectoryOutlinePanel->SetDirectory(DirectoryListPanel->Directory());
}

void TMainForm::DirectoryListPanelChange() {
  DirectoryControlChange(DirectoryListPanel, DirectoryListPanel->Directory());
}

void TMainForm::DirectoryOutlinePanelChange() {
  DirectoryControlChange(DirectoryOutlinePanel, DirectoryOutlinePanel->Directory());
}

void TMainForm::DirectoryControlChange(const QWidget *control, const QString &directory) {
  // Only the shown control speaks for the directory.
  if (control->isHidden())
    return;
  SelectDriveOf(directory);
  TOptions &options = TOptions::Instance();
  if (!options.IsLoaded())
    return;
  if (StartupFinished)
    options.Data.Directory = directory.toStdString();
  RefreshFileList();
}

void TMainForm::ClearFileList() {
  FileStringGrid->setRowCount(1);
  for (int column = 0; column < FileStringGrid->columnCount(); ++column)
    delete FileStringGrid->takeItem(0, column);
}

void TMainForm::RefreshFileList() {
  const TOptions &options = TOptions::Instance();
  const QString directory = ToQString(options.Data.Directory);
  if (!QFileInfo(directory).isDir()) {
    ClearFileList();
    // Forgotten, so that the directory shows its files again once it is chosen.
    LastListedDirectory_.clear();
    return;
  }
  const TWaitCursor waitCursor;
  if (IsSameDirectory(directory, LastListedDirectory_))
    return;
  ClearFileList();
  LastListedDirectory_ = directory;

  const std::vector<TDataFileEntry> files =
      ListDataFiles(directory, ToQString(options.Data.FileExtension));
  const QLocale locale = QLocale::system();
  for (size_t index = 0; index < files.size(); ++index) {
    const TDataFileEntry &file = files[index];
    const int row = static_cast<int>(index);
    if (row > 0)
      FileStringGrid->insertRow(row);
    // Read on the first description column only, however many there are.
    std::optional<QString> description;
    for (int column = 0; column < FileStringGrid->columnCount(); ++column) {
      QString text;
      switch (options.ColumnDataType(column)) {
      case 1:
        text = file.Name;
        break;
      case 2:
        if (!description) {
          TDataFileHeaderStart header;
          ReadDataFileHeader(QFile::encodeName(file.Path).toStdString(), options.DataFileSignature,
                             header);
          description = QString::fromLocal8Bit(header.Description);
        }
        text = *description;
        break;
      case 3:
        text = FileDateText(file.LastWrite, locale);
        break;
      default:
        break;
      }
      FileStringGrid->setItem(row, column, new QTableWidgetItem(text));
    }
  }
  FileStringGrid->setCurrentCell(0, 0);
}

QString TMainForm::SelectedFilePath() const {
  const TOptions &options = TOptions::Instance();
  const QString directory = ToQString(options.Data.Directory);
  for (int column = 0; column < options.ColumnCount(); ++column) {
    if (options.ColumnDataType(column) != 1)
      continue;
    const QTableWidgetItem *cell = FileStringGrid->item(FileStringGrid->currentRow(), column);
    return JoinPath(directory, cell ? cell->text() : QString());
  }
  return directory;
}

void TMainForm::OpenDataFile(const QString &path) {
  const int number = NextControlWindowNumber();
  const TOptions &options = TOptions::Instance();
  auto window = std::make_unique<TDataControlForm>();
  window->setObjectName(QStringLiteral("DataControlForm%1").arg(number));
  window->move(options.ControlPanel.Left, options.ControlPanel.Top);
  window->SetWindowNumber(number);
  window->SetHelpWindows(AboutWindow, HelpWindow);
  window->OpenFile(path);
  window->setWindowTitle(QStringLiteral("Data Control - ") + QFileInfo(path).fileName());
  ControlWindows.push_back(std::move(window));
  ControlWindows.back()->show();
}

void TMainForm::OpenFiles(const QStringList &paths, bool alsoToStandardError) {
  QStringList unopened;
  bool listed = false;
  for (const QString &path : paths) {
    const QString reason = UnreadableReason(path);
    if (!reason.isEmpty()) {
      unopened << path + QStringLiteral(": ") + reason;
      continue;
    }
    if (!listed)
      ListDirectoryOf(path);
    listed = true;
    OpenDataFile(path);
    // A file that opens but holds no model: its window says why, and so does
    // the terminal.
    const QString failure = ControlWindows.back()->LoadFailure();
    if (alsoToStandardError && !failure.isEmpty())
      std::fprintf(stderr, "dendrovia: %s: %s\n", qPrintable(path), qPrintable(failure));
  }
  if (unopened.isEmpty())
    return;
  if (alsoToStandardError)
    for (const QString &line : unopened)
      std::fprintf(stderr, "dendrovia: %s\n", qPrintable(line));
  ShowMessageBox(this, QStringLiteral("Opening files"),
                 QStringLiteral("Cannot open\n") + unopened.join(u'\n'), QMessageBox::Critical,
                 QMessageBox::Ok);
}

void TMainForm::ListDirectoryOf(const QString &path) {
  const QFileInfo file(path);
  const QString directory = file.absolutePath();
  TOptions &options = TOptions::Instance();
  options.Data.Directory = directory.toStdString();
  SelectDriveOf(directory);
  DirectoryListPanel->SetDirectory(directory);
  DirectoryOutlinePanel->SetDirectory(directory);
  RefreshFileList();
  // The file's row is the selected one, as if it had been chosen there.
  int column = 0;
  while (column < options.ColumnCount() && options.ColumnDataType(column) != 1)
    ++column;
  for (int row = 0; row < FileStringGrid->rowCount(); ++row) {
    const QTableWidgetItem *cell = FileStringGrid->item(row, column);
    if (cell != nullptr && cell->text() == file.fileName()) {
      FileStringGrid->selectRow(row);
      break;
    }
  }
}

void TMainForm::dragEnterEvent(QDragEnterEvent *event) {
  if (!LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent *event) {
  if (!LocalFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event) {
  const QStringList files = LocalFiles(event->mimeData());
  if (files.isEmpty())
    return;
  event->acceptProposedAction();
  // After the drop has ended: the file manager waits for its answer, and opening
  // may show a message box.
  QTimer::singleShot(0, this, [this, files] { OpenFiles(files); });
}

int TMainForm::NextControlWindowNumber() {
  DestroyHiddenControlWindows();
  // Walked in the order of the numbers, not of opening: a window that filled a
  // gap lies behind higher numbers in the list, and its number must not be
  // handed out again.
  std::vector<int> numbers;
  for (const auto &window : ControlWindows)
    numbers.push_back(window->WindowNumber());
  std::sort(numbers.begin(), numbers.end());
  int number = 0;
  for (const int used : numbers) {
    if (used > number + 1)
      break;
    number = used;
  }
  return number + 1;
}

std::vector<TDataControlForm *> TMainForm::OpenControlWindows() const {
  std::vector<TDataControlForm *> windows;
  for (const auto &window : ControlWindows)
    windows.push_back(window.get());
  return windows;
}

void TMainForm::FileStringGridKeyPress() {
  OpenDataFile(SelectedFilePath());
}

void TMainForm::FileStringGridDblClick() {
  OpenDataFile(SelectedFilePath());
}

void TMainForm::FileStringGridColumnMoved(int, int oldVisualIndex, int newVisualIndex) {
  // The header's move is undone and the column itself moved, so that grid columns
  // keep matching the settings' columns index for index.
  QHeaderView *header = FileStringGrid->horizontalHeader();
  {
    const QSignalBlocker blocker(header);
    header->moveSection(newVisualIndex, oldVisualIndex);
  }
  MoveGridColumn(oldVisualIndex, newVisualIndex);
  TOptions::Instance().MoveColumn(oldVisualIndex, newVisualIndex);
  const int row = FileStringGrid->currentRow();
  if (row >= 0)
    FileStringGrid->selectRow(row);
}

void TMainForm::MoveGridColumn(int from, int to) {
  const int columns = FileStringGrid->columnCount();
  const auto rotate = [from, to](auto &values) {
    auto value = std::move(values[from]);
    values.erase(values.begin() + from);
    values.insert(values.begin() + to, std::move(value));
  };
  std::vector<int> widths;
  std::vector<QTableWidgetItem *> headers;
  for (int column = 0; column < columns; ++column) {
    widths.push_back(FileStringGrid->columnWidth(column));
    headers.push_back(FileStringGrid->takeHorizontalHeaderItem(column));
  }
  rotate(widths);
  rotate(headers);
  for (int column = 0; column < columns; ++column) {
    if (headers[column])
      FileStringGrid->setHorizontalHeaderItem(column, headers[column]);
    FileStringGrid->setColumnWidth(column, widths[column]);
  }
  for (int row = 0; row < FileStringGrid->rowCount(); ++row) {
    std::vector<QTableWidgetItem *> cells;
    for (int column = 0; column < columns; ++column)
      cells.push_back(FileStringGrid->takeItem(row, column));
    rotate(cells);
    for (int column = 0; column < columns; ++column)
      if (cells[column])
        FileStringGrid->setItem(row, column, cells[column]);
  }
}

void TMainForm::ApplicationIdle() {
  // A Control Window closed by the user is only hidden; it is destroyed here,
  // but not while a modal dialog runs: the code that opened it may belong to
  // one of those windows.
  if (!QApplication::activeModalWidget())
    DestroyHiddenControlWindows();
}

void TMainForm::DestroyHiddenControlWindows() {
  // Taken out of the list before they are destroyed: destruction waits for the
  // views' threads and processes events meanwhile, which may come back here.
  std::vector<std::unique_ptr<TDataControlForm>> closed;
  for (auto &window : ControlWindows)
    if (window->isHidden())
      closed.push_back(std::move(window));
  std::erase(ControlWindows, nullptr);
  closed.clear();
}
