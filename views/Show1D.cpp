#include "views/Show1D.h"

#include "data/NeuronDataFile.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/NumberFormat.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/Show1DThread.h"
#include "views/ViewContext.h"

#include <mutex>

TShow1DForm::TShow1DForm(TViewContext &context, QWidget *parent)
    : TGraphicForm(parent), Settings(TOptions::Instance()), Context(context) {
  setWindowTitle(SettingsText(Settings.Graphics1D.Title));
  SetPanelColor(Qt::white);
  DistanceMax = Context.GetViewData().GetMaxDistance();
  ReadVariableScale();

  auto thread = std::make_unique<TOpenGLThread1D>(*this, Settings.Data.SleepPeriod);
  {
    std::lock_guard lock(WindowLock());
    thread->SetClearColorFromColor(PanelColor(), 0.0f);
    thread->SetAxisColors(Qt::black, Qt::black);
    thread->SetRanges(DistanceMin, DistanceMax, ValueMin, ValueMax);
    thread->SetAxisLineWidth(Settings.Graphics1D.AxisLineWidth);
    thread->SetGraphicLineWidth(Settings.Graphics1D.GraphicLineWidth);
    thread->SetData(&Context.GetViewData());
  }
  AttachRenderThread(std::move(thread));
}

TShow1DForm::~TShow1DForm() {
  StopRenderThread();
}

TOpenGLThread1D *TShow1DForm::RenderThread1D() const {
  return static_cast<TOpenGLThread1D *>(RenderThread());
}

void TShow1DForm::ReadVariableScale() {
  TryParseFloat(Context.GetVariableMinText(), ValueMin);
  TryParseFloat(Context.GetVariableMaxText(), ValueMax);
}

void TShow1DForm::PassRanges() {
  if (TOpenGLThread1D *thread = RenderThread1D())
    thread->SetRanges(DistanceMin, DistanceMax, ValueMin, ValueMax);
}

void TShow1DForm::UpdateVariableScale() {
  ReadVariableScale();
  PassRanges();
}

void TShow1DForm::UpdateDistanceRange() {
  DistanceMax = Context.GetViewData().GetMaxDistance();
  PassRanges();
}

void TShow1DForm::HelpKeyPressed(bool about) {
  Context.ShowHelpWindow(about);
}
