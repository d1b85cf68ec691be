#include "ViewTestData.h"

#include "render/OpenGLViewThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

std::uint64_t SettledDraws(const TOpenGLViewThread &thread) {
  std::uint64_t draws = thread.GetDrawCount();
  QElapsedTimer quiet;
  quiet.start();
  while (quiet.elapsed() < 20 * TOpenGLViewThread::IdlePeriodMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
    if (thread.GetDrawCount() != draws) {
      draws = thread.GetDrawCount();
      quiet.restart();
    }
  }
  return draws;
}

TNeuronDataWriter::TSection StraightSection(const std::string &name, int parent, double length,
                                            int segments) {
  TNeuronDataWriter::TSection section;
  section.Name = name;
  section.Parent = parent;
  section.SegmentCount = segments;
  const int points = 4 * segments + 1;
  for (int i = 0; i < points; ++i)
    section.Points.push_back({length * i / (points - 1), 0.0, 0.0, 1.0});
  section.Length = TNeuronDataWriter::PathLength(section.Points);
  return section;
}

TNeuronDataWriter::TSection TaperedSection(const std::string &name, int parent, double length,
                                           int segments, double from, double to) {
  TNeuronDataWriter::TSection section = StraightSection(name, parent, length, segments);
  const auto last = static_cast<double>(section.Points.size() - 1);
  for (std::size_t i = 0; i < section.Points.size(); ++i)
    section.Points[i].Diameter = from + (to - from) * static_cast<double>(i) / last;
  return section;
}

std::string WriteDataFile(const QTemporaryDir &dir, const std::string &name,
                          const std::vector<TNeuronDataWriter::TSection> &sections,
                          const std::vector<std::vector<double>> &frames) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  TNeuronDataWriter writer;
  TNeuronDataWriter::THeader header;
  header.Description = "view test";
  header.VariableMin = -80.0;
  header.VariableMax = 40.0;
  EXPECT_TRUE(writer.Create(path, header, sections)) << writer.GetError();
  for (const std::vector<double> &frame : frames)
    EXPECT_TRUE(writer.WriteFrame(frame[0], std::span(frame).subspan(1))) << writer.GetError();
  EXPECT_TRUE(writer.Close()) << writer.GetError();
  return path;
}

TTestViewContext::TTestViewContext(const std::string &fileName) {
  Data.Load(fileName);
  EXPECT_FALSE(Data.GetFileName().empty()) << "could not load " << fileName;
  Palette.SetRange(-80.0, 40.0);
  Data.SetPalette(&Palette);
  Data.RecolorCurrentFrame();
}

std::array<int, 3> TTestViewContext::ColorOf(double value) const {
  float rgb[3];
  Palette.MapValues(&value, rgb, 1);
  return {static_cast<int>(std::lround(rgb[0] * 255.0f)),
          static_cast<int>(std::lround(rgb[1] * 255.0f)),
          static_cast<int>(std::lround(rgb[2] * 255.0f))};
}
