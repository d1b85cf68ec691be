#pragma once

#include "render/OpenGLDisplayPanel.h"

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <GL/glu.h>

#include <functional>

// Draws with a test's function in pixel coordinates (origin bottom left).
class TFunctionRenderer : public TPanelRenderer {
public:
  std::function<void()> Draw;
  int Paints = 0;

  void PaintGL(TOpenGLDisplayPanel &panel) override {
    ++Paints;
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, panel.width(), 0, panel.height());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(0, 0, 0);
    if (Draw)
      Draw();
  }
};

// A shown top-level window filled by a panel.
struct TPanelWindow {
  QWidget Window;
  TOpenGLDisplayPanel *Panel = new TOpenGLDisplayPanel(&Window);
  TFunctionRenderer Renderer;

  TPanelWindow() {
    auto *layout = new QVBoxLayout(&Window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Panel);
    Panel->SetRenderer(&Renderer);
    Window.resize(300, 60);
  }
  ~TPanelWindow() { Panel->SetRenderer(nullptr); }

  bool Show() {
    Window.show();
    return QTest::qWaitForWindowExposed(&Window);
  }
};
