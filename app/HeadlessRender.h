#pragma once

#include "app/RenderCommand.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "render/GraphicForm.h"
#include "views/ViewContext.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

// One `dendrovia --render` run: opens the data file as a Control Window
// would (palette, variable and time scales, the F(t) points), creates the
// view's own graphic window, which draws off screen on the toolkit's
// "offscreen" platform, and takes its frames as the window's picture saving
// and movie recording take them. The settings come from TOptions as loaded,
// with the request's options applied; nothing is written back. GUI thread.
class THeadlessRender : public TViewContext {
public:
  explicit THeadlessRender(const TRenderRequest &request);
  ~THeadlessRender() override;

  // Renders and writes the output; progress and the final line go to
  // standard error. Returns the exit status: 0 when written, 1 otherwise,
  // with the reason on standard error and no output left behind (a movie
  // or images that stopped midway stay only when what they hold plays, as
  // the message then says).
  int Run();

  // Runs the whole command from the program's arguments, before any
  // application object exists: the exit status.
  static int RunCommand(int argc, char **argv);

  // TViewContext
  const TNeuronDataFile &GetViewData() const override { return Data; }
  const TDataToColor &GetViewPalette() const override { return Palette; }
  std::string GetVariableMinText() const override { return VariableMinText; }
  std::string GetVariableMaxText() const override { return VariableMaxText; }
  std::string GetTimeMinText() const override { return TimeMinText; }
  std::string GetTimeMaxText() const override { return TimeMaxText; }
  TSelectedPointList &GetFtPoints() override { return Points; }
  void AddSelectedPoint(const std::string &code, const std::string &name) override;
  void ShowHelpWindow(bool) override {}

private:
  // Each step returns false with Error set.
  bool OpenData();
  bool ChooseFrames();
  bool CheckOutput();
  bool AddPoints();
  bool CreateView();
  // Makes the frame of time current and waits until the view has drawn it
  // (recorded it, while recording).
  bool ShowFrame(double time);
  bool WaitForFrame(double time);
  bool WritePicture();
  bool WriteFrames();
  bool Fail(const QString &text);
  void Report(const QString &line);
  // Deletes what a failed run wrote, unless it holds frames that play; a
  // folder made for images goes when it is empty.
  void RemoveOutput(bool keepFrames);

  const TRenderRequest Request;
  TNeuronDataFile Data;
  TDataToColor Palette;
  TSelectedPointList Points;
  std::unique_ptr<TGraphicForm> View;
  std::string VariableMinText, VariableMaxText, TimeMinText, TimeMaxText;
  TRenderOutput OutputKind;
  QString OutputPath;
  // Numbered images: the folder and the file name pattern (empty: the
  // recording's own names).
  QString ImageFolder;
  QString ImagePattern;
  bool OutputExisted = false;
  int Width = 0;
  int Height = 0;
  double FirstTime = 0.0;
  double LastTime = 0.0;
  std::int64_t FrameTotal = 0;
  QString Error;
  // What the window's message boxes said (routed here, never shown).
  QStringList Messages;
};
