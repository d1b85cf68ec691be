#pragma once

#include "control/ScaleInput.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class TDataToColor;
class TNeuronDataFile;
class TOptions;
class TShowInfoForm;

// The Control Window of one open data file: shows its ranges, holds the
// variable and time scales, and owns the data, its palette and the windows
// opened for the file. Closing it only hides it; its owner destroys it later,
// and the destructor writes its settings back.
class TDataControlForm : public QWidget {
  Q_OBJECT

public:
  explicit TDataControlForm(QWidget *parent = nullptr);
  ~TDataControlForm() override;

  // Loads the file and fills the window. A file that cannot be read leaves an
  // empty model: zero ranges, an empty item list, and no message.
  void OpenFile(const QString &fileName);

  int32_t WindowNumber() const { return WindowNumber_; }
  void SetWindowNumber(int32_t number) { WindowNumber_ = number; }
  const QString &FileName() const { return FileName_; }

  TNeuronDataFile &Data() { return *Data_; }
  TDataToColor &Palette() { return *Palette_; }

  double VariableScaleMin() const { return VariableScaleMin_; }
  double VariableScaleMax() const { return VariableScaleMax_; }
  double TimeScaleMin() const { return TimeScaleMin_; }
  double TimeScaleMax() const { return TimeScaleMax_; }
  // The current frame's time; -1.0 while playback is stopped.
  double CurrentTime() const { return CurrentTime_; }

  // Tag 1 locks the controls for playback; tags 0, 2 and 3 unlock them; any
  // other tag changes nothing.
  void UpdateControls(int tag);

private:
  void CreateControls();
  void SetTabOrder();
  void ConnectControls();

  QString FormatValue(double value) const;
  QString FormatTime(double value) const;
  TNumberText ValueText() const;
  TNumberText TimeText() const;
  // The error box of the scale boxes, with the settings' message; the focus
  // then goes back to box.
  void ShowInputError(QLineEdit *box, int message);
  // Applies a check's outcome to its box; true when the field is to change.
  bool AcceptInput(QLineEdit *box, const TScaleInput &input);
  // Shows a time in the current-time box.
  void ShowCurrentTime(double time);

  void FillItemList();
  void ApplyVariableScale();

  void VariableMinEditExit();
  void VariableMaxEditExit();
  void TimeMinEditExit();
  void TimeMaxEditExit();
  void TimeCurrentEditExit();
  void ValidateBox(QLineEdit *box);
  void LoadPaletteBitBtnClick();
  void ShowInfoButtonClick();
  void NeuronItemCheckListBoxClickCheck(QListWidgetItem *item);

  bool eventFilter(QObject *watched, QEvent *event) override;

  TOptions &Settings;
  int32_t WindowNumber_ = 0;
  QString FileName_;
  std::unique_ptr<TNeuronDataFile> Data_;
  std::unique_ptr<TDataToColor> Palette_;
  std::unique_ptr<TShowInfoForm> FormInfo;
  double VariableScaleMin_ = 0.0;
  double VariableScaleMax_ = 1.0;
  double TimeScaleMin_ = 0.0;
  double TimeScaleMax_ = 1.0;
  double CurrentTime_ = -1.0;
  const double TimeTolerance = 0.0001;
  uint32_t SkipFrames = 0;
  uint32_t FramesDelay = 500;
  // Set while a box is being checked, so that the focus moves of its error
  // box do not start a second check.
  bool Validating = false;

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
