#include "control/DataControl.h"

#include "control/PlaybackRules.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/CurrentFrame.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"
#include "views/ShowInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <array>
#include <climits>
#include <functional>

namespace {

constexpr int UpDownLimit = 32767; // an up-down position is a 16-bit number

int ToInt(uint32_t value) {
  return static_cast<int>(std::min<uint32_t>(value, INT_MAX));
}

int UpDownPosition(uint32_t value) {
  return ToInt(std::min<uint32_t>(value, UpDownLimit));
}

QLabel *MakeLabel(QWidget *parent, const char *name, int left, int top) {
  auto *label = new QLabel(parent);
  label->setObjectName(name);
  label->move(left, top);
  return label;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, int left, int top, int width) {
  auto *edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(left, top, width, 21);
  return edit;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const char *caption, int left) {
  auto *button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(name);
  button->setGeometry(left, 95, 45, 25);
  button->setAutoDefault(false);
  return button;
}

QPushButton *MakeImageButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon,
                             const char *hint, int left) {
  auto *button = new QPushButton(parent);
  button->setObjectName(name);
  button->setGeometry(left, 161, 25, 25);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setToolTip(QString::fromLatin1(hint));
  button->setAutoDefault(false);
  return button;
}

TNumberText NumberText(const std::string &format) {
  return {[format](double value) { return FormatFloat(format, value); },
          [](const std::string &text, double &value) { return TryParseFloat(text, value); }};
}

// Shows a number in its box and gives back what the box shows read as a
// number, so that a scale holds exactly what its box shows (the number itself
// when the text does not read back).
double ShowNumber(QLineEdit *box, const TNumberText &numbers, double value) {
  box->setText(QString::fromStdString(numbers.Format(value)));
  numbers.Parse(box->text().toStdString(), value);
  return value;
}

void SetText(QLabel *label, const QString &text) {
  label->setText(text);
  label->adjustSize();
}

void StoreBounds(const QWidget &window, TWindowSettings &bounds) {
  bounds.Left = window.x();
  bounds.Top = window.y();
  bounds.Width = window.width();
  bounds.Height = window.height();
}

void PlaceWindow(QWidget &window, const TWindowSettings &bounds) {
  window.move(bounds.Left, bounds.Top);
  window.resize(bounds.Width, bounds.Height);
}

// Brings back a window that exists: the focus if it is shown, else shown. A
// minimised window counts as shown; it is restored first, as it was before.
void Present(QWidget &window) {
  if (window.isMinimized())
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  if (window.isVisible()) {
    window.raise();
    window.activateWindow();
  } else {
    window.show();
  }
}

// Shows a window opened for the file, creating it on the first call: named
// after its kind and the Control Window's number, placed at its bounds, and
// handed what it needs before it is first shown (prepare).
template <class TForm>
void OpenWindow(std::unique_ptr<TForm> &window, TViewContext &context, const char *baseName,
                int32_t number, const TWindowSettings &bounds,
                const std::function<void(TForm &)> &prepare = {}) {
  if (window) {
    Present(*window);
    return;
  }
  window = std::make_unique<TForm>(context);
  window->setObjectName(QString::fromLatin1(baseName) + QString::number(number));
  PlaceWindow(*window, bounds);
  if (prepare)
    prepare(*window);
  window->show();
}

// Writes a window's bounds into its settings and destroys it; a graphic
// window's destructor first ends its rendering thread.
template <class TForm> void CloseWindow(std::unique_ptr<TForm> &window, TWindowSettings &bounds) {
  if (!window)
    return;
  StoreBounds(*window, bounds);
  window.reset();
}

// Where the palette dialog starts when no palette was chosen yet: the palettes
// that come with the program, installed under share/ or made beside it by the
// build; else the program's folder.
QString BundledPaletteDirectory() {
  const QDir program(QCoreApplication::applicationDirPath());
  for (const char *folder : {"../share/dendrovia/palettes", "samples/palettes"})
    if (program.exists(QLatin1String(folder)))
      return QDir::cleanPath(program.filePath(QLatin1String(folder)));
  return program.path();
}

} // namespace

TDataControlForm::TDataControlForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      Settings(TOptions::Instance()), Data_(std::make_unique<TNeuronDataFile>()),
      Palette_(std::make_unique<TDataToColor>()) {
  // Closing only hides the window; that must never end the application.
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(295, 262);
  // The controls are placed by pixels, so the font is fixed in pixels too.
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  setFont(font);
  CreateControls();
  SetTabOrder();
  ConnectControls();
  UpdateControls(0);
}

TDataControlForm::~TDataControlForm() {
  Destroying = true;
  Timer->stop();
  Settings.ControlPanel.Left = x();
  Settings.ControlPanel.Top = y();
  Settings.ControlPanel.FramesDelay = FramesDelay_;
  // The views go first: their threads read the data.
  CloseWindow(Form1D_, Settings.Graphics1D);
  CloseWindow(Form2D_, Settings.Graphics2D);
  CloseWindow(Form3D_, Settings.Graphics3D);
  CloseWindow(FormFt_, Settings.GraphicsFt);
  CloseWindow(FormInfo_, Settings.WindowInfo);
  Data_.reset();
  Palette_.reset();
  FtPoints.clear();
}

void TDataControlForm::SetHelpWindows(QDialog *aboutWindow, QDialog *helpWindow) {
  AboutWindow = aboutWindow;
  HelpWindow = helpWindow;
}

void TDataControlForm::CreateControls() {
  DataRangeLabel = MakeLabel(this, "DataRangeLabel", 10, 10);
  DataRangeMinLabel = MakeLabel(this, "DataRangeMinLabel", 108, 10);
  DataRangeMaxLabel = MakeLabel(this, "DataRangeMaxLabel", 233, 10);
  VariableScaleLabel = MakeLabel(this, "VariableScaleLabel", 10, 29);
  VariableMinEdit = MakeEdit(this, "VariableMinEdit", 105, 25, 55);
  VariableMaxEdit = MakeEdit(this, "VariableMaxEdit", 230, 25, 55);
  TimeRangeLabel = MakeLabel(this, "TimeRangeLabel", 10, 48);
  TimeRangeMinLabel = MakeLabel(this, "TimeRangeMinLabel", 108, 48);
  TimeRangeMaxLabel = MakeLabel(this, "TimeRangeMaxLabel", 233, 48);
  TimeScaleLabel = MakeLabel(this, "TimeScaleLabel", 10, 68);
  TimeMinEdit = MakeEdit(this, "TimeMinEdit", 105, 64, 55);
  TimeCurrentEdit = MakeEdit(this, "TimeCurrentEdit", 167, 64, 55);
  TimeMaxEdit = MakeEdit(this, "TimeMaxEdit", 230, 64, 55);

  Show1DButton = MakeButton(this, "Show1DButton", "1D", 10);
  Show2DButton = MakeButton(this, "Show2DButton", "2D", 67);
  Show3DButton = MakeButton(this, "Show3DButton", "3D", 125);
  ShowFtButton = MakeButton(this, "ShowFtButton", "F(t)", 182);
  ShowInfoButton = MakeButton(this, "ShowInfoButton", "Info", 240);

  FramesDelayEdit = MakeEdit(this, "FramesDelayEdit", 10, 130, 30);
  FramesDelayEdit->setToolTip(QStringLiteral("Frames delay"));
  FrameDelayLabel = MakeLabel(this, "FrameDelayLabel", 46, 133);
  SetText(FrameDelayLabel, QStringLiteral("ms"));
  FramesDelayTrackBar = new QSlider(Qt::Horizontal, this);
  FramesDelayTrackBar->setObjectName("FramesDelayTrackBar");
  FramesDelayTrackBar->setGeometry(61, 129, 155, 33);
  FramesDelayTrackBar->setToolTip(QStringLiteral("Frames delay"));
  FramesDelayTrackBar->setPageStep(10);
  FramesDelayTrackBar->setTickInterval(100);
  FramesDelayTrackBar->setTickPosition(QSlider::TicksBelow);

  SkipFramesEdit = MakeEdit(this, "SkipFramesEdit", 238, 130, 30);
  SkipFramesEdit->setToolTip(QStringLiteral("Skip frames"));
  SkipFramesEdit->setText(QStringLiteral("0"));
  SkipFramesUpDown = new QSpinBox(this);
  SkipFramesUpDown->setObjectName("SkipFramesUpDown");
  SkipFramesUpDown->setGeometry(268, 130, 17, 21);
  SkipFramesUpDown->setToolTip(QStringLiteral("Skip frames"));
  SkipFramesUpDown->setWrapping(false);
  SkipFramesUpDown->setGroupSeparatorShown(false);
  SkipFramesUpDown->setFocusPolicy(Qt::NoFocus);

  PlayBitBtn = MakeImageButton(this, "PlayBitBtn", QStyle::SP_MediaPlay, "Start", 10);
  PauseBitBtn = MakeImageButton(this, "PauseBitBtn", QStyle::SP_MediaPause, "Pause", 35);
  StopBitBtn = MakeImageButton(this, "StopBitBtn", QStyle::SP_MediaStop, "Stop", 60);
  StepForwardBitBtn =
      MakeImageButton(this, "StepForwardBitBtn", QStyle::SP_MediaSeekForward, "Step forward", 90);
  StepBackBitBtn =
      MakeImageButton(this, "StepBackBitBtn", QStyle::SP_MediaSeekBackward, "Step back", 115);
  // The playback buttons hand their tags to UpdateControls.
  int tag = 1;
  for (QPushButton *button :
       {PlayBitBtn, PauseBitBtn, StopBitBtn, StepForwardBitBtn, StepBackBitBtn})
    button->setProperty("Tag", tag++);
  LoadPaletteBitBtn =
      MakeImageButton(this, "LoadPaletteBitBtn", QStyle::SP_DialogOpenButton, "Load palette", 260);

  NeuronItemCheckListBox = new QListWidget(this);
  NeuronItemCheckListBox->setObjectName("NeuronItemCheckListBox");
  NeuronItemCheckListBox->setGeometry(10, 195, 275, 57);

  Timer = new QTimer(this);
  Timer->setObjectName("Timer");
}

void TDataControlForm::SetTabOrder() {
  // The windows' buttons come first, then the scale boxes, then the playback
  // controls in their order on the window.
  QWidget *const order[] = {
      Show1DButton,      Show2DButton,    Show3DButton,      ShowFtButton,
      ShowInfoButton,    VariableMinEdit, VariableMaxEdit,   TimeMinEdit,
      TimeCurrentEdit,   TimeMaxEdit,     FramesDelayEdit,   FramesDelayTrackBar,
      SkipFramesEdit,    PlayBitBtn,      PauseBitBtn,       StopBitBtn,
      StepForwardBitBtn, StepBackBitBtn,  LoadPaletteBitBtn, NeuronItemCheckListBox};
  for (size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);
}

void TDataControlForm::ConnectControls() {
  // Every key typed anywhere in the window passes here first (F1, Ctrl+F1).
  for (QWidget *child : findChildren<QWidget *>())
    child->installEventFilter(this);
  for (QLineEdit *box : NumberBoxes())
    connect(box, &QLineEdit::returnPressed, this, [this, box] { ValidateBox(box); });
  connect(NeuronItemCheckListBox, &QListWidget::itemChanged, this,
          &TDataControlForm::NeuronItemCheckListBoxClickCheck);
  connect(SkipFramesUpDown, &QSpinBox::valueChanged, this,
          &TDataControlForm::SkipFramesUpDownChanging);
  connect(FramesDelayTrackBar, &QSlider::valueChanged, this,
          &TDataControlForm::FramesDelayTrackBarChange);
  connect(LoadPaletteBitBtn, &QPushButton::clicked, this,
          &TDataControlForm::LoadPaletteBitBtnClick);
  connect(Show1DButton, &QPushButton::clicked, this, &TDataControlForm::Show1DButtonClick);
  connect(Show2DButton, &QPushButton::clicked, this, &TDataControlForm::Show2DButtonClick);
  connect(Show3DButton, &QPushButton::clicked, this, &TDataControlForm::Show3DButtonClick);
  connect(ShowFtButton, &QPushButton::clicked, this, &TDataControlForm::ShowFtButtonClick);
  connect(ShowInfoButton, &QPushButton::clicked, this, &TDataControlForm::ShowInfoButtonClick);
  connect(PlayBitBtn, &QPushButton::clicked, this, &TDataControlForm::PlayBitBtnClick);
  connect(PauseBitBtn, &QPushButton::clicked, this, &TDataControlForm::PauseBitBtnClick);
  connect(StopBitBtn, &QPushButton::clicked, this, &TDataControlForm::StopBitBtnClick);
  connect(StepForwardBitBtn, &QPushButton::clicked, this,
          &TDataControlForm::StepForwardBitBtnClick);
  connect(StepBackBitBtn, &QPushButton::clicked, this, &TDataControlForm::StepBackBitBtnClick);
  connect(Timer, &QTimer::timeout, this, &TDataControlForm::TimerTimer);
}

std::array<QLineEdit *, 7> TDataControlForm::NumberBoxes() const {
  return {VariableMinEdit, VariableMaxEdit, TimeMinEdit,   TimeCurrentEdit,
          TimeMaxEdit,     FramesDelayEdit, SkipFramesEdit};
}

bool TDataControlForm::IsNumberBox(const QObject *object) const {
  const std::array<QLineEdit *, 7> boxes = NumberBoxes();
  return std::find(boxes.begin(), boxes.end(), object) != boxes.end();
}

bool TDataControlForm::eventFilter(QObject *watched, QEvent *event) {
  if (Destroying)
    return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_F1) {
      ShowHelpWindow(key->modifiers().testFlag(Qt::ControlModifier));
      return true;
    }
    QListWidgetItem *item = NeuronItemCheckListBox->currentItem();
    if (watched == NeuronItemCheckListBox &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && item) {
      // Toggling fires itemChanged, which does the rest.
      item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
      return true;
    }
  } else if (event->type() == QEvent::FocusOut && IsNumberBox(watched)) {
    // Only a move of the focus inside this window leaves a box; the window
    // losing the focus (to a message box, another window) does not.
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      ValidateBox(static_cast<QLineEdit *>(watched));
  }
  return QWidget::eventFilter(watched, event);
}

void TDataControlForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (!LoadFailureToTell)
    return;
  LoadFailureToTell = false;
  // After the show: the opener captions the window once it has opened the file.
  QTimer::singleShot(0, this, [this] {
    ShowMessageBox(this, windowTitle(),
                   QString("Could not open %1: %2.").arg(FileName_, LoadFailure_),
                   QMessageBox::Warning);
  });
}

void TDataControlForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F1 && !Destroying) {
    ShowHelpWindow(event->modifiers().testFlag(Qt::ControlModifier));
    return;
  }
  QWidget::keyPressEvent(event);
}

void TDataControlForm::ShowHelpWindow(bool about) {
  QDialog *window = about ? AboutWindow.data() : HelpWindow.data();
  if (window && !Destroying)
    window->exec();
}

void TDataControlForm::ValidateBox(QLineEdit *box) {
  // While playing the boxes are read-only and show only what playback wrote.
  if (Validating || Destroying || box->isReadOnly())
    return;
  Validating = true;
  if (box == VariableMinEdit)
    VariableMinEditExit();
  else if (box == VariableMaxEdit)
    VariableMaxEditExit();
  else if (box == TimeMinEdit)
    TimeMinEditExit();
  else if (box == TimeMaxEdit)
    TimeMaxEditExit();
  else if (box == TimeCurrentEdit)
    TimeCurrentEditExit();
  else if (box == SkipFramesEdit)
    SkipFramesEditExit();
  else if (box == FramesDelayEdit)
    FramesDelayEditExit();
  Validating = false;
}

QString TDataControlForm::FormatValue(double value) const {
  return SettingsText(FormatFloat(Settings.ControlPanel.DataRangeFormat, value));
}

QString TDataControlForm::FormatTime(double value) const {
  return SettingsText(FormatFloat(Settings.ControlPanel.TimeRangeFormat, value));
}

TNumberText TDataControlForm::ValueText() const {
  return NumberText(Settings.ControlPanel.DataRangeFormat);
}

TNumberText TDataControlForm::TimeText() const {
  return NumberText(Settings.ControlPanel.TimeRangeFormat);
}

std::string TDataControlForm::GetVariableMinText() const {
  return VariableMinEdit->text().toStdString();
}

std::string TDataControlForm::GetVariableMaxText() const {
  return VariableMaxEdit->text().toStdString();
}

std::string TDataControlForm::GetTimeMinText() const {
  return TimeMinEdit->text().toStdString();
}

std::string TDataControlForm::GetTimeMaxText() const {
  return TimeMaxEdit->text().toStdString();
}

void TDataControlForm::ShowInputError(QLineEdit *box, const QString &text) {
  // Owned by this window so that the box is not hidden behind it (it stays on top).
  ShowMessageBox(this, windowTitle(), text, QMessageBox::Critical, QMessageBox::Ok);
  box->setFocus();
}

bool TDataControlForm::AcceptInput(QLineEdit *box, const TScaleInput &input) {
  if (input.Status != TScaleInputStatus::InvalidFormat)
    box->setText(QString::fromStdString(input.Text));
  switch (input.Status) {
  case TScaleInputStatus::InvalidFormat:
    ShowInputError(box, SettingsText(Settings.ErrorMessage(1)));
    return false;
  case TScaleInputStatus::InvalidValue:
    ShowInputError(box, SettingsText(Settings.ErrorMessage(2)));
    return false;
  case TScaleInputStatus::Unchanged:
    return false;
  case TScaleInputStatus::Changed:
    return true;
  }
  return false;
}

void TDataControlForm::ShowCurrentTime(double time) {
  TimeCurrentEdit->setText(FormatTime(time));
}

double TDataControlForm::CurrentFrameTime() const {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data_);
  return frame ? frame->Time : -1.0;
}

bool TDataControlForm::VisibleViewsReady(double shownTime) const {
  const double frameTime = CurrentFrameTime();
  for (const TGraphicForm *form : GraphicForms()) {
    // A window that cannot paint now could never catch up: it takes no part.
    if (form && form->CanPaintNow() &&
        !IsViewReady(form->GetLastDrawnTime(), shownTime, frameTime, TimeTolerance))
      return false;
  }
  return true;
}

std::vector<TGraphicForm *> TDataControlForm::GraphicForms() const {
  return {Form1D_.get(), Form2D_.get(), Form3D_.get(), FormFt_.get()};
}

void TDataControlForm::StopPlayback(int tag) {
  Timer->stop();
  CurrentTime_ = -1.0;
  UpdateControls(tag);
  // Recordings of playback end with it.
  for (TGraphicForm *form : GraphicForms())
    if (form)
      form->PlaybackStopped();
}

int TDataControlForm::SkipArgument() const {
  return static_cast<int>(std::min<uint32_t>(SkipFrames_, INT_MAX));
}

bool TDataControlForm::IsPlaying() const {
  return Timer->isActive();
}

void TDataControlForm::OpenFile(const QString &fileName) {
  FileName_ = fileName;
  Data_->Load(fileName.toStdString());
  LoadFailure_ = QString::fromStdString(Data_->DescribeLoadError(Settings.DataFileSignature));
  LoadFailureToTell = !LoadFailure_.isEmpty();

  const TOptions::TControlPanelSettings &panel = Settings.ControlPanel;
  SetText(DataRangeLabel, SettingsText(panel.DataRange) +
                              QString::fromStdString("  (" + Data_->GetVariableUnit() + ")"));
  SetText(DataRangeMinLabel, FormatValue(Data_->GetVariableMin()));
  SetText(DataRangeMaxLabel, FormatValue(Data_->GetVariableMax()));
  SetText(TimeRangeLabel, SettingsText(panel.TimeRange) +
                              QString::fromStdString("  (" + Data_->GetTimeUnit() + ")"));
  SetText(TimeRangeMinLabel, FormatTime(Data_->GetFirstFrameTime()));
  SetText(TimeRangeMaxLabel, FormatTime(Data_->GetLastFrameTime()));
  SetText(VariableScaleLabel, SettingsText(panel.VariableScale));

  // Each scale holds exactly the number its box shows. A file whose values are
  // all equal gets a scale with width, or the views would have no range to draw.
  const TNumberText values = ValueText();
  TScaleRange scale{Data_->GetVariableMin(), Data_->GetVariableMax()};
  if (!Data_->GetFileName().empty())
    scale = InitialVariableScale(scale.Min, scale.Max, values);
  VariableScaleMin_ = ShowNumber(VariableMinEdit, values, scale.Min);
  VariableScaleMax_ = ShowNumber(VariableMaxEdit, values, scale.Max);

  SetText(TimeScaleLabel, SettingsText(panel.TimeScale));
  const TNumberText times = TimeText();
  TimeScaleMin_ = ShowNumber(TimeMinEdit, times, Data_->GetFirstFrameTime());
  TimeCurrentEdit->setText(TimeMinEdit->text());
  TimeScaleMax_ = ShowNumber(TimeMaxEdit, times, Data_->GetLastFrameTime());
  CurrentTime_ = TimeScaleMin_;

  SkipFrames_ = panel.SkipFrames;
  {
    const QSignalBlocker blocker(SkipFramesUpDown);
    SkipFramesUpDown->setRange(UpDownPosition(panel.SkipFramesMin),
                               UpDownPosition(panel.SkipFramesMax));
    SkipFramesUpDown->setValue(UpDownPosition(SkipFrames_));
  }
  SkipFramesEdit->setText(QString::number(SkipFrames_));

  FramesDelay_ = panel.FramesDelay;
  {
    const QSignalBlocker blocker(FramesDelayTrackBar);
    FramesDelayTrackBar->setRange(ToInt(panel.FramesDelayMin), ToInt(panel.FramesDelayMax));
    FramesDelayTrackBar->setValue(ToInt(FramesDelay_));
  }
  FramesDelayEdit->setText(QString::number(FramesDelay_));

  Palette_->SetRange(VariableScaleMin_, VariableScaleMax_);
  Palette_->LoadFromFile(Settings.Palette.File);
  Data_->SetPalette(Palette_.get());
  Data_->RecolorCurrentFrame();

  FillItemList();
}

void TDataControlForm::FillItemList() {
  const QSignalBlocker blocker(NeuronItemCheckListBox);
  NeuronItemCheckListBox->clear();
  for (int i = 0; i < Data_->GetItemCount(); ++i) {
    const size_t first = static_cast<size_t>(Data_->GetItemFirstSection()[i]);
    const auto &section = Data_->GetSections()[first];
    auto *item = new QListWidgetItem(QString::fromStdString(section.Name), NeuronItemCheckListBox);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Data_->GetItemChecked()[i].load() ? Qt::Checked : Qt::Unchecked);
  }
}

void TDataControlForm::ApplyVariableScale() {
  Palette_->SetRange(VariableScaleMin_, VariableScaleMax_);
  Data_->RecolorCurrentFrame();
  if (Form1D_)
    Form1D_->UpdateVariableScale();
  if (FormFt_)
    FormFt_->UpdateVariableScale();
}

void TDataControlForm::VariableMinEditExit() {
  const TScaleInput input = CheckVariableMin(VariableMinEdit->text().toStdString(), ValueText(),
                                             VariableScaleMin_, VariableScaleMax_);
  if (!AcceptInput(VariableMinEdit, input))
    return;
  VariableScaleMin_ = input.Value;
  ApplyVariableScale();
}

void TDataControlForm::VariableMaxEditExit() {
  const TScaleInput input = CheckVariableMax(VariableMaxEdit->text().toStdString(), ValueText(),
                                             VariableScaleMin_, VariableScaleMax_);
  if (!AcceptInput(VariableMaxEdit, input))
    return;
  VariableScaleMax_ = input.Value;
  ApplyVariableScale();
}

void TDataControlForm::TimeMinEditExit() {
  const TScaleInput input = CheckTimeMin(TimeMinEdit->text().toStdString(), TimeText(),
                                         Data_->GetFirstFrameTime(), TimeScaleMin_, TimeScaleMax_);
  if (!AcceptInput(TimeMinEdit, input))
    return;
  TimeScaleMin_ = SnapTime(Data_->FindNearestFrameTime(input.Value));
  TimeMinEdit->setText(FormatTime(TimeScaleMin_));
  if (CurrentTime_ < TimeScaleMin_) {
    CurrentTime_ = SnapTime(Data_->SeekFrame(TimeScaleMin_));
    ShowCurrentTime(CurrentTime_);
  }
  if (FormFt_)
    FormFt_->UpdateTimeScale();
}

void TDataControlForm::TimeMaxEditExit() {
  const TScaleInput input = CheckTimeMax(TimeMaxEdit->text().toStdString(), TimeText(),
                                         Data_->GetLastFrameTime(), TimeScaleMin_, TimeScaleMax_);
  if (!AcceptInput(TimeMaxEdit, input))
    return;
  TimeScaleMax_ = SnapTime(Data_->FindNearestFrameTime(input.Value));
  TimeMaxEdit->setText(FormatTime(TimeScaleMax_));
  if (CurrentTime_ > TimeScaleMax_) {
    CurrentTime_ = SnapTime(Data_->SeekFrame(TimeScaleMax_));
    ShowCurrentTime(CurrentTime_);
  }
  if (FormFt_)
    FormFt_->UpdateTimeScale();
}

void TDataControlForm::TimeCurrentEditExit() {
  const TScaleInput input = CheckCurrentTime(TimeCurrentEdit->text().toStdString(), TimeText(),
                                             TimeScaleMin_, TimeScaleMax_, CurrentTime_);
  if (!AcceptInput(TimeCurrentEdit, input))
    return;
  CurrentTime_ = SnapTime(Data_->FindNearestFrameTime(input.Value));
  ShowCurrentTime(CurrentTime_);
  CurrentTime_ = SnapTime(Data_->SeekFrame(CurrentTime_));
}

std::optional<uint32_t> TDataControlForm::ReadIntegerBox(QLineEdit *box, uint32_t min,
                                                         uint32_t max) {
  const std::string text = box->text().toStdString();
  const std::optional<int32_t> number = ParseInteger(text);
  if (!number) {
    ShowInputError(box, QString::fromStdString(InvalidIntegerMessage(text)));
    return std::nullopt;
  }
  const uint32_t value = ClampUnsigned(*number, min, max);
  box->setText(QString::number(value));
  return value;
}

void TDataControlForm::SkipFramesEditExit() {
  const TOptions::TControlPanelSettings &panel = Settings.ControlPanel;
  const std::optional<uint32_t> value =
      ReadIntegerBox(SkipFramesEdit, panel.SkipFramesMin, panel.SkipFramesMax);
  if (!value)
    return;
  SkipFrames_ = *value;
  // The up-down counts on from the number in its box.
  const QSignalBlocker blocker(SkipFramesUpDown);
  SkipFramesUpDown->setValue(UpDownPosition(SkipFrames_));
}

void TDataControlForm::FramesDelayEditExit() {
  const TOptions::TControlPanelSettings &panel = Settings.ControlPanel;
  const std::optional<uint32_t> value =
      ReadIntegerBox(FramesDelayEdit, panel.FramesDelayMin, panel.FramesDelayMax);
  if (!value)
    return;
  FramesDelay_ = *value;
  const QSignalBlocker blocker(FramesDelayTrackBar);
  FramesDelayTrackBar->setValue(ToInt(FramesDelay_));
}

void TDataControlForm::SkipFramesUpDownChanging(int position) {
  if (position >= 0)
    SkipFrames_ = static_cast<uint32_t>(position);
  SkipFramesEdit->setText(QString::number(position));
}

void TDataControlForm::FramesDelayTrackBarChange(int position) {
  FramesDelayEdit->setText(QString::number(position));
  FramesDelay_ = static_cast<uint32_t>(std::max(position, 0));
}

void TDataControlForm::LoadPaletteBitBtnClick() {
  const std::string &extension = Settings.Palette.FileExtension;
  // The directory part of the palette setting, up to and with its last "/".
  const QString palette = QString::fromStdString(Settings.Palette.File);
  QString directory = palette.left(palette.lastIndexOf(QLatin1Char('/')) + 1);
  if (directory.isEmpty())
    directory = BundledPaletteDirectory();
  QFileDialog dialog(this, QString(), directory,
                     QStringLiteral("Neuron palette (*.%1);;All files (*)")
                         .arg(QString::fromStdString(extension)));
  dialog.setObjectName("OpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(QString::fromStdString(extension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return;
  const QString path = dialog.selectedFiles().constFirst();
  QCoreApplication::processEvents();
  Settings.Palette.File = path.toStdString();
  Palette_->LoadFromFile(Settings.Palette.File);
  Data_->RecolorCurrentFrame();
}

void TDataControlForm::Show1DButtonClick() {
  OpenWindow(Form1D_, *this, "Show1DForm", WindowNumber_, Settings.Graphics1D);
  // The graphic stays shown; the keys stay here.
  activateWindow();
}

void TDataControlForm::Show2DButtonClick() {
  OpenWindow<TShow2DForm>(Form2D_, *this, "Show2DForm", WindowNumber_, Settings.Graphics2D,
                          [this](TShow2DForm &form) { form.SetSelectedPoints(FtPoints); });
  activateWindow();
}

void TDataControlForm::Show3DButtonClick() {
  OpenWindow(Form3D_, *this, "Show3DForm", WindowNumber_, Settings.Graphics3D);
  activateWindow();
}

void TDataControlForm::ShowFtButtonClick() {
  OpenWindow<TShowFtForm>(FormFt_, *this, "ShowFtForm", WindowNumber_, Settings.GraphicsFt,
                          [this](TShowFtForm &form) { form.SetPoints(FtPoints); });
  activateWindow();
}

void TDataControlForm::AddSelectedPoint(const std::string &code, const std::string &name) {
  std::string error;
  const TSelectedPointInfo *point = ::AddSelectedPoint(FtPoints, code, name, error);
  if (point == nullptr)
    ShowMessageBox(this, windowTitle(), QString::fromStdString(error), QMessageBox::Critical,
                   QMessageBox::Ok);
  else {
    if (FormFt_)
      FormFt_->AddPointMenuEntry(*point);
    SelectedPointsChanged();
  }
}

void TDataControlForm::SelectedPointsChanged() {
  if (Form2D_)
    Form2D_->SelectedPointsChanged();
}

void TDataControlForm::ShowInfoButtonClick() {
  OpenWindow(FormInfo_, *this, "ShowInfoForm", WindowNumber_, Settings.WindowInfo);
}

void TDataControlForm::NeuronItemCheckListBoxClickCheck(QListWidgetItem *item) {
  const int i = NeuronItemCheckListBox->row(item);
  if (i < 0 || i >= Data_->GetItemCount())
    return;
  Data_->GetItemChecked()[i] = item->checkState() == Qt::Checked ? 1 : 0;
  if (Form1D_)
    Form1D_->UpdateDistanceRange();
  if (Form2D_)
    Form2D_->UpdateLayout();
  if (Form3D_)
    Form3D_->UpdateItems();
}

void TDataControlForm::UpdateControls(int tag) {
  bool locked = false;
  if (tag == 1)
    locked = true;
  else if (tag != 0 && tag != 2 && tag != 3)
    return;
  for (QLineEdit *box : NumberBoxes())
    box->setReadOnly(locked);
  for (QWidget *control : std::initializer_list<QWidget *>{
           Show1DButton, Show2DButton, Show3DButton, ShowFtButton, ShowInfoButton,
           FramesDelayTrackBar, SkipFramesUpDown, PlayBitBtn, StepForwardBitBtn, StepBackBitBtn,
           LoadPaletteBitBtn, NeuronItemCheckListBox})
    control->setEnabled(!locked);
}

void TDataControlForm::PlayBitBtnClick() {
  UpdateControls(PlayBitBtn->property("Tag").toInt());
  if (CurrentTime_ < 0.0) {
    SeekScaleStart();
    // Playback starts over: so do the F(t) curves.
    if (FormFt_)
      FormFt_->ClearHistory();
  }
  Timer->start(TimerInterval(FramesDelay_));
}

void TDataControlForm::PauseBitBtnClick() {
  Timer->stop();
  UpdateControls(PauseBitBtn->property("Tag").toInt());
}

void TDataControlForm::StopBitBtnClick() {
  StopPlayback(StopBitBtn->property("Tag").toInt());
}

void TDataControlForm::TimerTimer() {
  double shown = 0.0;
  if (!TryParseFloat(TimeCurrentEdit->text().toStdString(), shown))
    return;
  CurrentTime_ = SnapTime(shown);
  if (CurrentTime_ >= TimeScaleMax_) {
    StopPlayback(0);
    return;
  }
  // A view still drawing holds the frame: try again at the next tick.
  if (!VisibleViewsReady(CurrentTime_))
    return;
  CurrentTime_ = Data_->StepForward(SkipArgument());
  if (CurrentTime_ > -1.0)
    ShowCurrentTime(CurrentTime_);
  else
    StopPlayback(0);
}

void TDataControlForm::SeekScaleStart() {
  CurrentTime_ = Data_->SeekFrame(TimeScaleMin_);
  if (CurrentTime_ > -1.0)
    ShowCurrentTime(CurrentTime_);
}

void TDataControlForm::StepOnce(bool forward) {
  if (CurrentTime_ < 0.0) {
    SeekScaleStart();
    return;
  }
  double shown = 0.0;
  if (!TryParseFloat(TimeCurrentEdit->text().toStdString(), shown))
    return;
  CurrentTime_ = shown;
  if (!VisibleViewsReady(CurrentTime_) ||
      (forward ? CurrentTime_ >= TimeScaleMax_ : CurrentTime_ <= TimeScaleMin_))
    return;
  CurrentTime_ = forward ? Data_->StepForward(SkipArgument()) : Data_->StepBack(SkipArgument());
  if (CurrentTime_ > -1.0)
    ShowCurrentTime(CurrentTime_);
}

void TDataControlForm::StepForwardBitBtnClick() {
  StepOnce(true);
}

void TDataControlForm::StepBackBitBtnClick() {
  StepOnce(false);
}
