#pragma once

#include "render/GraphicForm.h"
#include "render/OpenGLViewThread.h"
#include "render/ViewGeometry.h"

#include <QDir>
#include <QImage>
#include <QPoint>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>

// What the tests of the view windows share: showing a window, waiting for its
// frames and reading its picture.

using TRgbBytes = std::array<int, 3>;

inline TRgbBytes Rgb(QRgb pixel) {
  return {qRed(pixel), qGreen(pixel), qBlue(pixel)};
}

// Shows the form at the size; true once it is on screen and its rendering
// thread has passed once.
[[nodiscard]] inline bool ShowViewWindow(TGraphicForm &form, int width, int height) {
  form.resize(width, height);
  form.show();
  return QTest::qWaitForWindowExposed(&form) &&
         QTest::qWaitFor([&] { return form.RenderThread()->GetPassCount() >= 1; }, 10000);
}

// Waits until the rendering thread has drawn count more frames.
[[nodiscard]] inline bool WaitForFrames(const TGraphicForm &form, std::uint64_t count) {
  const std::uint64_t frames = form.RenderThread()->GetFrameCount();
  return QTest::qWaitFor([&] { return form.RenderThread()->GetFrameCount() >= frames + count; },
                         10000);
}

// The pixel of a picture drawn with the geometry where the data point (x, y)
// lies.
inline QPoint DataPixel(const TViewGeometry &g, const QImage &picture, double x, double y) {
  const double column = (g.XMap(x) - g.ViewLeft) / (g.ViewRight - g.ViewLeft) * picture.width();
  const double row = (g.YMap(y) - g.ViewBottom) / (g.ViewTop - g.ViewBottom) * picture.height();
  return {static_cast<int>(std::floor(column)),
          picture.height() - 1 - static_cast<int>(std::floor(row))};
}

// Whether any pixel of the picture has the colour.
inline bool PictureHolds(const QImage &picture, const TRgbBytes &color) {
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (Rgb(picture.pixel(x, y)) == color)
        return true;
  return false;
}

// When the running test has failed, saves the picture into the temporary
// directory as dendrovia-<view>-<test>.png and says where.
inline void SavePictureOfFailure(const QImage &picture, const char *view) {
  if (!::testing::Test::HasFailure() || picture.isNull())
    return;
  const QString path = QDir::temp().filePath(
      QString("dendrovia-%1-%2.png")
          .arg(view, ::testing::UnitTest::GetInstance()->current_test_info()->name()));
  picture.save(path);
  std::cerr << "picture: " << path.toStdString() << "\n";
}
