#pragma once

#include "control/ScaleInput.h"
#include "views/ViewContext.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class TDataToColor;
class TGraphicForm;
class TNeuronDataFile;
class TOptions;
class TShow1DForm;
class TShow2DForm;
class TShow3DForm;
class TShowFtForm;
class TShowInfoForm;

// The Control Window of one open data file: shows its ranges, holds the
// variable and time scales, plays the frames, and owns the data, its palette,
// the F(t) points and the windows opened for the file. Closing it only hides
// it; its owner destroys it later, and the destructor writes its settings and
// its windows' bounds back.
class TDataControlForm : public QWidget, public TViewContext {
  Q_OBJECT

public:
  explicit TDataControlForm(QWidget *parent = nullptr);
  ~TDataControlForm() override;

  // Loads the file and fills the window. A file that cannot be read (or a
  // directory) leaves an empty model: zero ranges and an empty item list; the
  // window still opens, and when it is first shown a message box with its
  // caption says why.
  void OpenFile(const QString &fileName);
  // Why OpenFile found no model, in the reader's words ("no such file");
  // empty when it loaded one. For those who open files without a window to
  // read, such as the command line.
  const QString &LoadFailure() const { return LoadFailure_; }

  int32_t WindowNumber() const { return WindowNumber_; }
  void SetWindowNumber(int32_t number) { WindowNumber_ = number; }
  const QString &FileName() const { return FileName_; }

  // The windows that F1 and Ctrl+F1 show modally, here and in the windows
  // opened from here; a null window is not shown.
  void SetHelpWindows(QDialog *aboutWindow, QDialog *helpWindow);

  TNeuronDataFile &Data() { return *Data_; }
  TDataToColor &Palette() { return *Palette_; }
  TShow1DForm *Form1D() const { return Form1D_.get(); }
  TShow2DForm *Form2D() const { return Form2D_.get(); }
  TShow3DForm *Form3D() const { return Form3D_.get(); }
  TShowFtForm *FormFt() const { return FormFt_.get(); }
  TShowInfoForm *FormInfo() const { return FormInfo_.get(); }

  double VariableScaleMin() const { return VariableScaleMin_; }
  double VariableScaleMax() const { return VariableScaleMax_; }
  double TimeScaleMin() const { return TimeScaleMin_; }
  double TimeScaleMax() const { return TimeScaleMax_; }
  // The current frame's time; -1.0 while playback is stopped.
  double CurrentTime() const { return CurrentTime_; }
  uint32_t SkipFrames() const { return SkipFrames_; }
  uint32_t FramesDelay() const { return FramesDelay_; }
  bool IsPlaying() const;

  // Tag 1 locks the controls for playback; tags 0, 2 and 3 unlock them; any
  // other tag changes nothing.
  void UpdateControls(int tag);

  // TViewContext
  const TNeuronDataFile &GetViewData() const override { return *Data_; }
  const TDataToColor &GetViewPalette() const override { return *Palette_; }
  std::string GetVariableMinText() const override;
  std::string GetVariableMaxText() const override;
  std::string GetTimeMinText() const override;
  std::string GetTimeMaxText() const override;
  TSelectedPointList &GetFtPoints() override { return FtPoints; }
  void AddSelectedPoint(const std::string &code, const std::string &name) override;
  void SelectedPointsChanged() override;
  void ShowHelpWindow(bool about) override;

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  void CreateControls();
  void SetTabOrder();
  void ConnectControls();

  QString FormatValue(double value) const;
  QString FormatTime(double value) const;
  TNumberText ValueText() const;
  TNumberText TimeText() const;
  // The error box of the number boxes; the focus then goes back to box.
  void ShowInputError(QLineEdit *box, const QString &text);
  // Applies a check's outcome to its box; true when the field is to change.
  bool AcceptInput(QLineEdit *box, const TScaleInput &input);
  // Reads an integer box, clamps it to min..max as unsigned and shows the result;
  // reports a text that is no integer and gives nothing.
  std::optional<uint32_t> ReadIntegerBox(QLineEdit *box, uint32_t min, uint32_t max);
  // Shows a time in the current-time box.
  void ShowCurrentTime(double time);
  // The data's own time of its current frame; -1.0 without a model.
  double CurrentFrameTime() const;
  // Whether every visible graphic window has drawn the frame shown as
  // shownTime.
  bool VisibleViewsReady(double shownTime) const;
  // The graphic windows of the file (null where not opened).
  std::vector<TGraphicForm *> GraphicForms() const;
  // Timer off, stopped state, controls by tag; tells the graphic windows.
  void StopPlayback(int tag);
  int SkipArgument() const;
  // Moves the data to the start of the time scale and shows its time (nothing
  // shown without a model).
  void SeekScaleStart();
  // Step forward (or back) by the skip value once every visible view has drawn
  // the current frame; from stopped playback, the start of the time scale.
  void StepOnce(bool forward);

  void FillItemList();
  void ApplyVariableScale();
  void ValidateBox(QLineEdit *box);
  std::array<QLineEdit *, 7> NumberBoxes() const;
  bool IsNumberBox(const QObject *object) const;

  void VariableMinEditExit();
  void VariableMaxEditExit();
  void TimeMinEditExit();
  void TimeMaxEditExit();
  void TimeCurrentEditExit();
  void SkipFramesEditExit();
  void FramesDelayEditExit();
  void SkipFramesUpDownChanging(int position);
  void FramesDelayTrackBarChange(int position);
  void LoadPaletteBitBtnClick();
  void Show1DButtonClick();
  void Show2DButtonClick();
  void Show3DButtonClick();
  void ShowFtButtonClick();
  void ShowInfoButtonClick();
  void NeuronItemCheckListBoxClickCheck(QListWidgetItem *item);
  void PlayBitBtnClick();
  void PauseBitBtnClick();
  void StopBitBtnClick();
  void StepForwardBitBtnClick();
  void StepBackBitBtnClick();
  void TimerTimer();

  bool eventFilter(QObject *watched, QEvent *event) override;

  TOptions &Settings;
  int32_t WindowNumber_ = 0;
  QString FileName_;
  QString LoadFailure_;
  // Set by a failed OpenFile until the window has said why.
  bool LoadFailureToTell = false;
  std::unique_ptr<TNeuronDataFile> Data_;
  std::unique_ptr<TDataToColor> Palette_;
  TSelectedPointList FtPoints;
  std::unique_ptr<TShow1DForm> Form1D_;
  std::unique_ptr<TShow2DForm> Form2D_;
  std::unique_ptr<TShow3DForm> Form3D_;
  std::unique_ptr<TShowFtForm> FormFt_;
  std::unique_ptr<TShowInfoForm> FormInfo_;
  QPointer<QDialog> AboutWindow;
  QPointer<QDialog> HelpWindow;
  double VariableScaleMin_ = 0.0;
  double VariableScaleMax_ = 1.0;
  double TimeScaleMin_ = 0.0;
  double TimeScaleMax_ = 1.0;
  double CurrentTime_ = -1.0;
  const double TimeTolerance = 0.0001;
  uint32_t SkipFrames_ = 0;
  uint32_t FramesDelay_ = 500;
  // Set while a box is being checked, so that the focus moves of its error
  // box do not start a second check.
  bool Validating = false;
  // Set once destruction has begun: events that arrive while the windows'
  // threads are stopped must not touch the scales or the data.
  bool Destroying = false;

  QLabel *DataRangeLabel = nullptr;
  QLabel *DataRangeMinLabel = nullptr;
  QLabel *DataRangeMaxLabel = nullptr;
  QLabel *VariableScaleLabel = nullptr;
  QLineEdit *VariableMinEdit = nullptr;
  QLineEdit *VariableMaxEdit = nullptr;
  QLabel *TimeRangeLabel = nullptr;
  QLabel *TimeRangeMinLabel = nullptr;
  QLabel *TimeRangeMaxLabel = nullptr;
  QLabel *TimeScaleLabel = nullptr;
  QLineEdit *TimeMinEdit = nullptr;
  QLineEdit *TimeCurrentEdit = nullptr;
  QLineEdit *TimeMaxEdit = nullptr;
  QPushButton *Show1DButton = nullptr;
  QPushButton *Show2DButton = nullptr;
  QPushButton *Show3DButton = nullptr;
  QPushButton *ShowFtButton = nullptr;
  QPushButton *ShowInfoButton = nullptr;
  QLineEdit *FramesDelayEdit = nullptr;
  QLabel *FrameDelayLabel = nullptr;
  QSlider *FramesDelayTrackBar = nullptr;
  QLineEdit *SkipFramesEdit = nullptr;
  QSpinBox *SkipFramesUpDown = nullptr;
  QPushButton *PlayBitBtn = nullptr;
  QPushButton *PauseBitBtn = nullptr;
  QPushButton *StopBitBtn = nullptr;
  QPushButton *StepForwardBitBtn = nullptr;
  QPushButton *StepBackBitBtn = nullptr;
  QPushButton *LoadPaletteBitBtn = nullptr;
  QListWidget *NeuronItemCheckListBox = nullptr;
  QTimer *Timer = nullptr;
};
