#include "app/RenderCommand.h"
#include "app/RenderProgress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> Words(const std::string &line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

TEST(RenderCommand, ReadsEveryOptionInEitherForm) {
  const TRenderArguments parsed = ParseRenderArguments(
      {"--view=ft", "--render",  "cell.dat",   "--out",    "run/cell.mp4",
       "--size",    "1920x1080", "--from=2.5", "--to",     "40",
       "--fps",     "30",        "--palette",  "hot.ncm",  "--scale",
       "-80,40",    "--style",   "Diameter",   "--points", "soma(0.5), dend[2](1)"});
  ASSERT_TRUE(parsed.Request) << parsed.Error;
  const TRenderRequest &r = *parsed.Request;
  EXPECT_EQ(r.DataFile, "cell.dat");
  EXPECT_EQ(r.View, TRenderView::Ft);
  EXPECT_EQ(r.OutputKind, TRenderOutput::Movie);
  EXPECT_EQ(r.Width, 1920);
  EXPECT_EQ(r.Height, 1080);
  EXPECT_EQ(r.From, 2.5);
  EXPECT_EQ(r.To, 40.0);
  EXPECT_FALSE(r.At);
  EXPECT_EQ(r.FramesPerSecond, 30);
  EXPECT_EQ(r.Palette, "hot.ncm");
  EXPECT_EQ(r.ScaleMin, -80.0);
  EXPECT_EQ(r.ScaleMax, 40.0);
  EXPECT_EQ(r.ShapeStyle, 1);
  ASSERT_TRUE(r.Points);
  ASSERT_EQ(r.Points->size(), 2u);
  EXPECT_EQ((*r.Points)[1].Section, "dend[2]");
  EXPECT_EQ((*r.Points)[1].Position, 1.0);

  const TRenderArguments bare = ParseRenderArguments(Words("--render c.dat --view 3d --out c.png"));
  ASSERT_TRUE(bare.Request) << bare.Error;
  EXPECT_FALSE(bare.Request->Width || bare.Request->At || bare.Request->Points ||
               bare.Request->ShapeStyle || bare.Request->Palette);
  EXPECT_EQ(bare.Request->FramesPerSecond, 25);
}

TEST(RenderCommand, RejectsWhatMakesNoSense) {
  const struct {
    const char *Line;
    const char *Error;
  } cases[] = {
      {"--render c.dat --view 4d --out c.png", "unknown view '4d'"},
      {"--render c.dat --out c.png", "--view is missing"},
      {"--render c.dat --view 3d", "--out is missing"},
      {"--render --view 3d --out c.png", "unexpected argument '3d'"},
      {"--render c.dat --view 3d --out c.png --size 0x10", "between 1 and 16384"},
      {"--render c.dat --view 3d --out c.png --size 16385x10", "between 1 and 16384"},
      {"--render c.dat --view 3d --out c.png --size -5x10", "between 1 and 16384"},
      {"--render c.dat --view 3d --out c.png --size 800", "WIDTHxHEIGHT"},
      {"--render c.dat --view 3d --out c.png --size 8.5x6", "WIDTHxHEIGHT"},
      {"--render c.dat --view 3d --out c.png --at soon", "--at takes a time"},
      {"--render c.dat --view 3d --out c.png --at nan", "--at takes a time"},
      {"--render c.dat --view 3d --out c.png --from 1", "choose it with --at"},
      {"--render c.dat --view 3d --out c.mp4 --at 1", "--at chooses the frame of a picture"},
      {"--render c.dat --view 3d --out c.mp4 --at 1 --from 2", "not both"},
      {"--render c.dat --view 3d --out c.mp4 --from 5 --to 2", "--from must not come after"},
      {"--render c.dat --view 3d --out c.mp4 --fps 0", "--fps takes"},
      {"--render c.dat --view 3d --out c.png --scale 5,5", "MIN below MAX"},
      {"--render c.dat --view 3d --out c.png --scale 5", "MIN below MAX"},
      {"--render c.dat --view 3d --out c.png --style solid", "--style takes wire or diameter"},
      {"--render c.dat --view ft --out c.png --points soma(2)", "--points takes"},
      {"--render c.dat --view ft --out c.png --points soma", "--points takes"},
      {"--render c.dat --view 3d --out c.png --colour red", "unknown option '--colour'"},
      {"--render c.dat --view 3d --out", "--out needs a value"},
  };
  for (const auto &c : cases) {
    const TRenderArguments parsed = ParseRenderArguments(Words(c.Line));
    EXPECT_FALSE(parsed.Request) << c.Line;
    EXPECT_NE(parsed.Error.find(c.Error), std::string::npos) << c.Line << ": " << parsed.Error;
  }
}

TEST(RenderCommand, OutputNameChoosesPictureMovieOrImages) {
  const struct {
    const char *Name;
    TRenderOutput Kind;
  } cases[] = {
      {"a.png", TRenderOutput::Picture},        {"A.JPG", TRenderOutput::Picture},
      {"dir.x/a.jpeg", TRenderOutput::Picture}, {"a.mp4", TRenderOutput::Movie},
      {"frames/", TRenderOutput::Images},       {"frames", TRenderOutput::Images},
      {"f_%05d.png", TRenderOutput::Images},    {"run.1/", TRenderOutput::Images},
      {"a.gif", TRenderOutput::Other},          {".hidden", TRenderOutput::Images},
  };
  for (const auto &c : cases)
    EXPECT_EQ(RenderOutputKind(c.Name), c.Kind) << c.Name;
}

TEST(RenderCommand, PointsKeepBracketsAndCommasOfTheirNames) {
  const std::optional<std::vector<TRenderPoint>> points =
      ParseRenderPoints(" soma(0), cell[1,2].dend(0.25) ,axon(1)");
  ASSERT_TRUE(points);
  ASSERT_EQ(points->size(), 3u);
  EXPECT_EQ((*points)[0].Section, "soma");
  EXPECT_EQ((*points)[1].Section, "cell[1,2].dend");
  EXPECT_EQ((*points)[1].Position, 0.25);
  EXPECT_EQ((*points)[2].Position, 1.0);
  for (const char *bad : {"", "soma(0.5),", "(0.5)", "soma(-0.1)", "soma(x)", "soma 0.5"})
    EXPECT_FALSE(ParseRenderPoints(bad)) << bad;
}

TEST(RenderCommand, HelpAndRenderAreFoundAnywhere) {
  EXPECT_TRUE(IsRenderCommand(Words("--view 3d --render c.dat")));
  EXPECT_TRUE(IsRenderCommand({"--render=c.dat"}));
  EXPECT_FALSE(IsRenderCommand(Words("c.dat d.dat")));
  EXPECT_TRUE(IsHelpCommand(Words("--render c.dat --help")));
  EXPECT_FALSE(IsHelpCommand(Words("c.dat")));
  const std::string help = CommandLineHelp();
  for (const char *option :
       {"dendrovia [FILE...]", "--render", "--view", "--out", "--size", "--at", "--from", "--to",
        "--fps", "--palette", "--scale", "--style", "--points"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(RenderProgress, SaysFramesRateAndTimeLeft) {
  TRenderProgress progress(480);
  EXPECT_EQ(progress.Line(0, 0.0), "frame 0 of 480");
  EXPECT_EQ(progress.Line(120, 4.0), "frame 120 of 480, 30.0 frames/s, 0:12 left");
  EXPECT_EQ(TRenderProgress::Duration(3725.2), "1:02:06");
  EXPECT_EQ(TRenderProgress::Duration(59.0), "0:59");
  // A log gets the first and the last frame, and a line a second between.
  const struct {
    std::int64_t Done;
    double Seconds;
    bool Due;
  } log[] = {{1, 0.1, true},  {2, 0.5, false},  {30, 1.05, false},
             {31, 1.2, true}, {40, 1.5, false}, {480, 1.6, true}};
  for (const auto &step : log)
    EXPECT_EQ(progress.LogDue(step.Done, step.Seconds), step.Due) << step.Done;
}

} // namespace
