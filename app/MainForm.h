#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QTableWidget;
class TDataControlForm;
class TDirectoryListBox;
class TDirectoryOutline;

// The main window: drives and directories on the left, the data files of the
// chosen directory on the right. It loads the settings when it is created and
// saves them when it is destroyed.
class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  // iniPath: the settings file read at creation and written at destruction.
  explicit TMainForm(const QString &iniPath, QWidget *parent = nullptr);
  ~TMainForm() override;

  // The windows that F1 and Ctrl+F1 show modally; they must outlive this window's
  // key handling (a null window is not shown).
  void SetHelpWindows(QDialog *aboutWindow, QDialog *helpWindow);

  // Lists the data files of Data.Directory unless it is the directory already listed.
  void RefreshFileList();
  // Directory and the file name of the selected row; the directory alone when no
  // column shows file names. Existence is not checked.
  QString SelectedFilePath() const;
  // Opens a Control Window on path, numbered by NextControlWindowNumber.
  void OpenDataFile(const QString &path);
  // Opens each file in its own Control Window, as Enter in the file list does,
  // and lists the folder of the first one that can be read. Files that are
  // missing or unreadable are not opened: one message box names them with the
  // reason, also written to standard error when asked (the command line).
  void OpenFiles(const QStringList &paths, bool alsoToStandardError = false);
  // Destroys the hidden Control Windows, then returns the lowest number n >= 1
  // that no remaining one carries.
  int NextControlWindowNumber();
  // The open Control Windows in the order of opening.
  std::vector<TDataControlForm *> OpenControlWindows() const;

  QString IniFilePath() const { return IniFilePath_; }
  QString LastListedDirectory() const { return LastListedDirectory_; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  // Local files dropped from a file manager open as OpenFiles does.
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  void CreateControls();
  void FormCreate();
  void FormResize();
  void FormDestroy();
  bool FormKeyDown(QObject *watched, int key, Qt::KeyboardModifiers modifiers);
  void DirectoryListActionExecute();
  void DirectoryOutlineActionExecute();
  void ApplyDirectoryLayout(int outlook);
  void DriveComboBoxChange();
  void DirectoryListPanelChange();
  void DirectoryOutlinePanelChange();
  // What both directory controls do when their directory changes.
  void DirectoryControlChange(const QWidget *control, const QString &directory);
  void FileStringGridColumnMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);
  void FileStringGridKeyPress();
  void FileStringGridDblClick();
  void ApplicationIdle();
  void DestroyHiddenControlWindows();

  void FillDriveComboBox();
  void SelectDriveOf(const QString &directory);
  QString SelectedDrive() const;
  void ClearFileList();
  void ListDirectoryOf(const QString &path);
  void MoveGridColumn(int from, int to);

  // Fields
  bool StartupFinished = false;
  QString IniFilePath_;
  QString LastListedDirectory_;
  std::vector<std::unique_ptr<TDataControlForm>> ControlWindows;
  QDialog *AboutWindow = nullptr;
  QDialog *HelpWindow = nullptr;

  // Controls
  QStatusBar *StatusBar = nullptr;
  QLabel *StatusText = nullptr;
  QWidget *MainPanel = nullptr;
  QSplitter *Splitter1 = nullptr;
  QWidget *DirectoryPanel = nullptr;
  QWidget *DrivePanel = nullptr;
  QComboBox *DriveComboBox = nullptr;
  QWidget *TreePanel = nullptr;
  TDirectoryListBox *DirectoryListPanel = nullptr;
  TDirectoryOutline *DirectoryOutlinePanel = nullptr;
  QWidget *FilePanel = nullptr;
  QTableWidget *FileStringGrid = nullptr;
  QAction *DirectoryListAction = nullptr;
  QAction *DirectoryOutlineAction = nullptr;
  QMenu *DirectoryPanelPopupMenu = nullptr;
};
