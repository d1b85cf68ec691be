#include "settings/Options.h"

#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include "settings/TextEncoding.h"

#include <csignal>
#include <functional>
#include <utility>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

using TReport = std::pair<std::string, std::string>;

class OptionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    UseScreen(1920, 1080);
    TOptions::SetErrorReport([this](const std::string &caption, const std::string &text) {
      Reports.emplace_back(caption, text);
    });
    TOptions::ReleaseInstance();
  }

  void TearDown() override {
    TOptions::ReleaseInstance();
    TOptions::SetErrorReport(nullptr);
    TOptions::SetEnvironment({});
  }

  void UseScreen(int32_t width, int32_t height) {
    TOptionsEnvironment environment;
    environment.ScreenWidth = width;
    environment.ScreenHeight = height;
    environment.ExecutablePath = Dir.File("dendrovia");
    TOptions::SetEnvironment(environment);
  }

  // A fresh settings object loaded from an INI file with this text.
  TOptions &Load(const std::string &text) {
    WriteText(Ini, text);
    TOptions::ReleaseInstance();
    TOptions &options = TOptions::Instance();
    options.LoadFromIni(Ini);
    EXPECT_TRUE(options.IsLoaded());
    return options;
  }

  TTempDir Dir;
  const std::string Ini = Dir.File("dendrovia.ini");
  std::vector<TReport> Reports;
};

TEST_F(OptionsTest, DefaultsWithoutAnIniFile) {
  TOptions &options = TOptions::Instance();
  options.LoadFromIni(Ini);
  EXPECT_FALSE(options.IsLoaded());
  EXPECT_EQ(options.IniFileName(), "");
  EXPECT_EQ(options.MainForm.State, 0);
  EXPECT_EQ(options.MainForm.Left, 560);
  EXPECT_EQ(options.MainForm.Top, 240);
  EXPECT_EQ(options.MainForm.Width, 800);
  EXPECT_EQ(options.MainForm.Height, 600);
  EXPECT_EQ(options.MainForm.Splitter, 250);
  EXPECT_EQ(options.Data.Directory, Dir.Path().string());
  EXPECT_EQ(options.Data.FileExtension, "dat");
  EXPECT_EQ(options.Data.SleepPeriod, 15);
  EXPECT_EQ(options.DataFileSignature, "MTSD");
  EXPECT_EQ(options.Palette.File, "");
  EXPECT_EQ(options.Palette.FileExtension, "ncm");
  EXPECT_EQ(options.DirectoryPanel.Outlook, 0);
  EXPECT_EQ(options.ColumnCount(), 0);
  EXPECT_EQ(options.ControlPanel.Left, 100);
  EXPECT_EQ(options.ControlPanel.Top, 300);
  EXPECT_EQ(options.ControlPanel.DataRange, "Data range : ");
  EXPECT_EQ(options.ControlPanel.TimeRangeFormat, "%0.3f");
  EXPECT_EQ(options.ControlPanel.VariableScale, "Variable scale : ");
  EXPECT_EQ(options.ControlPanel.FramesDelay, 250u);
  EXPECT_EQ(options.ControlPanel.SkipFramesMax, 100u);
  EXPECT_EQ(options.Graphics3D.Title, "3D");
  EXPECT_EQ(options.Graphics3D.Left, 805);
  EXPECT_EQ(options.GraphicsFt.Left, 605);
  EXPECT_EQ(options.WindowInfo.Width, 500);
  EXPECT_EQ(options.WindowHelp.Title, "Help");
  EXPECT_EQ(options.WindowHelp.Top, 200);
  EXPECT_DOUBLE_EQ(options.Graphics2D.DistanceBetweenItems, 20.0);
  EXPECT_EQ(options.Graphics2D.PaletteLeft, 100);

  EXPECT_FALSE(options.SaveToIni(Ini));
  EXPECT_TRUE(Dir.Names().empty());
  EXPECT_TRUE(Reports.empty());

  // Centring truncates toward zero, also on a screen smaller than the window.
  TOptions::ReleaseInstance();
  UseScreen(640, 479);
  EXPECT_EQ(TOptions::Instance().MainForm.Left, -80);
  EXPECT_EQ(TOptions::Instance().MainForm.Top, -60);
}

TEST_F(OptionsTest, InstanceLivesUntilReleased) {
  TOptions &first = TOptions::Instance();
  EXPECT_EQ(&first, &TOptions::Instance());
  first.MainForm.Width = 1234;
  TOptions::ReleaseInstance();
  EXPECT_EQ(TOptions::Instance().MainForm.Width, 800);
}

TEST_F(OptionsTest, BoundsAreCheckedAgainstTheScreen) {
  TOptions *options = &Load("[MainForm]\nWidth=5000\nHeight=0\nLeft=0\nTop=1080\n");
  EXPECT_EQ(options->MainForm.Width, 800);
  EXPECT_EQ(options->MainForm.Height, 600);
  EXPECT_EQ(options->MainForm.Left, 0);
  EXPECT_EQ(options->MainForm.Top, 240);

  options = &Load("[MainForm]\nWidth=1919\nHeight=1079\nLeft=1919\nTop=1079\n");
  EXPECT_EQ(options->MainForm.Width, 1919);
  EXPECT_EQ(options->MainForm.Height, 1079);
  EXPECT_EQ(options->MainForm.Left, 1919);
  EXPECT_EQ(options->MainForm.Top, 1079);

  options = &Load("[MainForm]\nWidth=-5\nLeft=-1\nHeight=1080\n");
  EXPECT_EQ(options->MainForm.Width, 800);
  EXPECT_EQ(options->MainForm.Left, 560);
  EXPECT_EQ(options->MainForm.Height, 600);

  // The screen in effect when loading counts.
  UseScreen(1024, 768);
  options = &Load("[MainForm]\nWidth=1000\n[WindowHelp]\nWidth=1100\nTop=767\nLeft=1024\n"
                  "[Graphics2D]\nPaletteLeft=1023\nPaletteTop=768\n[Graphics3D]\nAxisLeft=0\n");
  EXPECT_EQ(options->MainForm.Width, 1000);
  EXPECT_EQ(options->WindowHelp.Width, 600);
  EXPECT_EQ(options->WindowHelp.Top, 767);
  EXPECT_EQ(options->WindowHelp.Left, 310);
  EXPECT_EQ(options->Graphics2D.PaletteLeft, 1023);
  EXPECT_EQ(options->Graphics2D.PaletteTop, 100);
  EXPECT_EQ(options->Graphics3D.AxisLeft, 0);
}

TEST_F(OptionsTest, SplitterMustLieInsideTheWidthJustRead) {
  EXPECT_EQ(Load("[MainForm]\nWidth=1000\nSplitter=1000\n").MainForm.Splitter, 250);
  EXPECT_EQ(Load("[MainForm]\nWidth=1000\nSplitter=1200\n").MainForm.Splitter, 250);
  EXPECT_EQ(Load("[MainForm]\nWidth=1000\nSplitter=999\n").MainForm.Splitter, 999);
  EXPECT_EQ(Load("[MainForm]\nSplitter=800\n").MainForm.Splitter, 250);
  EXPECT_EQ(Load("[MainForm]\nWidth=200\nSplitter=150\n").MainForm.Splitter, 150);
  EXPECT_EQ(Load("[MainForm]\nSplitter=0\n").MainForm.Splitter, 0);
  EXPECT_EQ(Load("[MainForm]\nSplitter=-1\n").MainForm.Splitter, 250);
}

TEST_F(OptionsTest, SkipFramesAndFramesDelayAreCrossChecked) {
  TOptions *options = &Load("[ControlPanel]\nSkipFramesMin=50\nSkipFramesMax=20\nSkipFrames=10\n"
                            "FramesDelayMin=100\nFramesDelayMax=50\nFramesDelay=2000\n");
  EXPECT_EQ(options->ControlPanel.SkipFramesMin, 50u);
  EXPECT_EQ(options->ControlPanel.SkipFramesMax, 150u);
  EXPECT_EQ(options->ControlPanel.SkipFrames, 50u);
  EXPECT_EQ(options->ControlPanel.FramesDelayMin, 100u);
  EXPECT_EQ(options->ControlPanel.FramesDelayMax, 1100u);
  EXPECT_EQ(options->ControlPanel.FramesDelay, 600u);

  options = &Load("[ControlPanel]\nSkipFramesMin=50\nSkipFramesMax=20\nSkipFrames=500\n"
                  "FramesDelayMin=10\nFramesDelayMax=20\nFramesDelay=15\n");
  EXPECT_EQ(options->ControlPanel.SkipFrames, 150u);
  EXPECT_EQ(options->ControlPanel.FramesDelay, 15u);

  // Negative numbers would wrap to about four billion and leave min above max.
  options = &Load("[ControlPanel]\nSkipFramesMin=-1\nSkipFrames=-5\nFramesDelayMin=$FFFFFFFF\n");
  EXPECT_EQ(options->ControlPanel.SkipFramesMin, 0u);
  EXPECT_EQ(options->ControlPanel.SkipFramesMax, 100u);
  EXPECT_EQ(options->ControlPanel.SkipFrames, 0u);
  EXPECT_EQ(options->ControlPanel.FramesDelayMin, 0u);

  // The largest accepted bounds neither wrap nor overflow the midpoint.
  options = &Load("[ControlPanel]\nFramesDelayMin=2147483647\nFramesDelayMax=0\n"
                  "SkipFramesMin=2147483647\n");
  EXPECT_EQ(options->ControlPanel.FramesDelayMax, 2147484647u);
  EXPECT_EQ(options->ControlPanel.FramesDelay, 2147484147u);
  EXPECT_EQ(options->ControlPanel.SkipFramesMax, 2147483747u);
  EXPECT_EQ(options->ControlPanel.SkipFrames, 2147483647u);
}

TEST_F(OptionsTest, FloatsAcceptEitherDecimalSeparator) {
  const std::string text = "[Graphics1D]\nAxisLineWidth=2,5\nGraphicLineWidth=2.5\n"
                           "[Graphics2D]\nGraphicLineWidth=abc\nConnectionLineWidth=\n"
                           "ScaleLineWidth=  3,25  \nDistanceBetweenItems=1e400\n"
                           "DistanceBetweenLevels=\"12.5\"\n"
                           "[Graphics3D]\nAxisLineWidth=1e39\nGraphicLineWidth=-2\n";
  const auto check = [&](const TOptions &options) {
    EXPECT_FLOAT_EQ(options.Graphics1D.AxisLineWidth, 2.5f);
    EXPECT_FLOAT_EQ(options.Graphics1D.GraphicLineWidth, 2.5f);
    EXPECT_FLOAT_EQ(options.Graphics2D.GraphicLineWidth, 1.0f);
    EXPECT_FLOAT_EQ(options.Graphics2D.ConnectionLineWidth, 1.0f);
    EXPECT_FLOAT_EQ(options.Graphics2D.ScaleLineWidth, 3.25f);
    EXPECT_DOUBLE_EQ(options.Graphics2D.DistanceBetweenItems, 20.0);
    EXPECT_DOUBLE_EQ(options.Graphics2D.DistanceBetweenLevels, 12.5);
    EXPECT_FLOAT_EQ(options.Graphics3D.AxisLineWidth, 1.0f);
    EXPECT_FLOAT_EQ(options.Graphics3D.GraphicLineWidth, -2.0f);
  };
  check(Load(text));

  TNumericLocale german("de_DE.UTF-8");
  if (!german.Active())
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  check(Load(text));
}

TEST_F(OptionsTest, ColumnListEndsAtTheFirstEmptyTitle) {
  TOptions &options = Load("[FilePanel]\n"
                           "Column1Title=  Description  \nColumn1Width=$40\nColumn1DataType=7\n"
                           "Column2Title=Filename\nColumn2DataType=1\nColumn2Width=abc\n"
                           "Column3Title=\nColumn3DataType=3\n"
                           "Column4Title=Last modified\nColumn4DataType=3\n");
  ASSERT_EQ(options.ColumnCount(), 2);
  EXPECT_EQ(options.ColumnTitle(0), "Description");
  EXPECT_EQ(options.ColumnWidth(0), 64);
  EXPECT_EQ(options.ColumnDataType(0), 0);
  EXPECT_EQ(options.ColumnTitle(1), "Filename");
  EXPECT_EQ(options.ColumnWidth(1), 100);
  EXPECT_EQ(options.ColumnDataType(1), 1);

  EXPECT_EQ(options.ColumnTitle(2), "");
  EXPECT_EQ(options.ColumnTitle(-1), "");
  EXPECT_EQ(options.ColumnWidth(2), 0);
  EXPECT_EQ(options.ColumnDataType(-1), 0);
  options.SetColumnTitle(2, "x");
  options.SetColumnWidth(-1, 5);
  options.MoveColumn(0, 2);
  EXPECT_EQ(options.ColumnCount(), 2);
  EXPECT_EQ(options.ColumnTitle(0), "Description");

  // Loading again replaces the list instead of appending to it.
  options.LoadFromIni(Ini);
  EXPECT_EQ(options.ColumnCount(), 2);

  EXPECT_EQ(Load("[FilePanel]\nColumn1Title=\"\"\nColumn2Title=B\n").ColumnCount(), 0);
}

TEST_F(OptionsTest, MoveColumnShiftsTheOthers) {
  TOptions &options = Load("[FilePanel]\nColumn1Title=A\nColumn2Title=B\nColumn3Title=C\n"
                           "Column4Title=D\n");
  options.MoveColumn(0, 2);
  EXPECT_EQ(options.ColumnTitle(0) + options.ColumnTitle(1) + options.ColumnTitle(2) +
                options.ColumnTitle(3),
            "BCAD");
  options.MoveColumn(3, 0);
  EXPECT_EQ(options.ColumnTitle(0) + options.ColumnTitle(1) + options.ColumnTitle(2) +
                options.ColumnTitle(3),
            "DBCA");
}

TEST_F(OptionsTest, CaptionsAreTakenAsReadButFormatsMustBeSafe) {
  TOptions *options = &Load("[ControlPanel]\nDataRange=\nDataRangeFormat=\n"
                            "TimeRange=\"Time : \"\nTimeRangeFormat=%s\nTimeScale=  T  \n");
  EXPECT_EQ(options->ControlPanel.DataRange, "");
  EXPECT_EQ(options->ControlPanel.DataRangeFormat, "%0.3f");
  EXPECT_EQ(options->ControlPanel.TimeRange, "Time : ");
  EXPECT_EQ(options->ControlPanel.TimeRangeFormat, "%0.3f");
  EXPECT_EQ(options->ControlPanel.TimeScale, "T");
  EXPECT_EQ(options->ControlPanel.VariableScale, "Variable scale : ");

  options = &Load("[ControlPanel]\nDataRangeFormat=%.2e\nTimeRangeFormat= t=%8.3f%% \n");
  EXPECT_EQ(options->ControlPanel.DataRangeFormat, "%.2e");
  EXPECT_EQ(options->ControlPanel.TimeRangeFormat, "t=%8.3f%%");

  for (const char *bad : {"%n", "%*f", "%f%f", "%s%s%s%s", "%d", "%Lf", "%.500f"}) {
    options = &Load(std::string("[ControlPanel]\nDataRangeFormat=") + bad + "\n");
    EXPECT_EQ(options->ControlPanel.DataRangeFormat, "%0.3f") << bad;
  }
}

TEST_F(OptionsTest, MissingPaletteFileIsReportedAndIgnored) {
  TOptions *options = &Load("[Palette]\nFile=  /x/y.ncm  \nFileExtension=  \n");
  EXPECT_EQ(Reports, (std::vector<TReport>{{"Loading options", "File /x/y.ncm not found"}}));
  EXPECT_EQ(options->Palette.File, "");
  EXPECT_EQ(options->Palette.FileExtension, "ncm");

  // The name is never used as a format.
  Reports.clear();
  options = &Load("[Palette]\nFile=/x/%s%n%p.ncm\n");
  EXPECT_EQ(Reports, (std::vector<TReport>{{"Loading options", "File /x/%s%n%p.ncm not found"}}));

  Reports.clear();
  const std::string palette = Dir.File("rainbow.pal");
  WriteText(palette, "0 0 0\n");
  options = &Load("[Palette]\nFile=" + palette + "\nFileExtension=pal\n");
  EXPECT_TRUE(Reports.empty());
  EXPECT_EQ(options->Palette.File, palette);
  EXPECT_EQ(options->Palette.FileExtension, "pal");

  // A directory is not a palette file; a blank name is simply none.
  options = &Load("[Palette]\nFile=" + Dir.Path().string() + "\n");
  EXPECT_EQ(Reports.size(), 1u);
  Reports.clear();
  Load("[Palette]\nFile=   \n");
  EXPECT_TRUE(Reports.empty());
}

TEST_F(OptionsTest, DataDirectoryMustExist) {
  std::filesystem::create_directory(Dir.Path() / "data");
  const std::string data = Dir.File("data");
  EXPECT_EQ(Load("[Data]\nDirectory=  " + data + "  \nFileExtension=  mtsd \n").Data.Directory,
            data);
  EXPECT_EQ(TOptions::Instance().Data.FileExtension, "mtsd");
  EXPECT_EQ(Load("[Data]\nDirectory=" + Dir.File("none") + "\n").Data.Directory,
            Dir.Path().string());
  EXPECT_EQ(Load("[Data]\nDirectory=" + Ini + "\nFileExtension=\n").Data.Directory,
            Dir.Path().string());
  EXPECT_EQ(TOptions::Instance().Data.FileExtension, "dat");
}

TEST_F(OptionsTest, IntegerKeysAndTheirRanges) {
  TOptions &options = Load("[mainform]\nSTATE=2\n"
                           "[Data]\nSleepPeriod=0\n"
                           "[DirectoryPanel]\nOutlook=1\n"
                           "[Graphics1D]\nTitle=  Line  \nLeft=0x10\n"
                           "[Graphics2D]\nSelectPointMode=5\nShowPoints=1\nShowPalette=abc\n"
                           "Title=\n"
                           "[Graphics3D]\nShowXYZAxes=$10\nShowPalette=0\nAxisLengthPixel=0\n"
                           "AxisLengthum=250\nAxisLengthMode=1\nShapeStyle=2\n");
  EXPECT_EQ(options.MainForm.State, 2);
  EXPECT_EQ(options.Data.SleepPeriod, 0);
  EXPECT_EQ(options.DirectoryPanel.Outlook, 1);
  EXPECT_EQ(options.Graphics1D.Title, "Line");
  EXPECT_EQ(options.Graphics1D.Left, 16);
  EXPECT_EQ(options.Graphics2D.SelectPointMode, 5);
  EXPECT_TRUE(options.Graphics2D.ShowPoints);
  EXPECT_FALSE(options.Graphics2D.ShowPalette);
  EXPECT_EQ(options.Graphics2D.Title, "2D");
  EXPECT_TRUE(options.Graphics3D.ShowXYZAxes);
  EXPECT_FALSE(options.Graphics3D.ShowPalette);
  EXPECT_EQ(options.Graphics3D.AxisLengthPixel, 100);
  EXPECT_EQ(options.Graphics3D.AxisLengthum, 250);
  EXPECT_EQ(options.Graphics3D.AxisLengthMode, 1);
  EXPECT_EQ(options.Graphics3D.ShapeStyle, 0);

  TOptions &other = Load("[MainForm]\nState=3\n[Data]\nSleepPeriod=-1\n[DirectoryPanel]\n"
                         "Outlook=2\n[Graphics2D]\nSelectPointMode=6\n");
  EXPECT_EQ(other.MainForm.State, 0);
  EXPECT_EQ(other.Data.SleepPeriod, 15);
  EXPECT_EQ(other.DirectoryPanel.Outlook, 0);
  EXPECT_EQ(other.Graphics2D.SelectPointMode, 0);
}

TEST_F(OptionsTest, LongValuesAreCut) {
  TOptions &options = Load("[ControlPanel]\nDataRange=" + std::string(5000, 'r') +
                           "\n[Graphics1D]\nTitle=" + std::string(3000, 't') + "\n");
  EXPECT_EQ(options.ControlPanel.DataRange, std::string(2047, 'r'));
  EXPECT_EQ(options.Graphics1D.Title, std::string(2047, 't'));
}

TEST_F(OptionsTest, ErrorMessagesByIndex) {
  const TOptions &options = TOptions::Instance();
  EXPECT_EQ(options.ErrorMessage(1), "Invalid number format");
  EXPECT_EQ(options.ErrorMessage(2), "Invalid number value");
  EXPECT_EQ(options.ErrorMessage(3), "File %s not found");
  for (const int index : {-1, 0, 4, 1000})
    EXPECT_EQ(options.ErrorMessage(index), "Unknown error") << index;
}

TEST_F(OptionsTest, SaveUpdatesInPlaceAndKeepsTheRest) {
  const std::string original = "; Dendrovia settings\n"
                               "\n"
                               "[MainForm]\n"
                               "; last size\n"
                               "Width=900\n"
                               "Custom=keep\n"
                               "\n"
                               "[Data]\n"
                               "SleepPeriod=40\n"
                               "\n"
                               "[Graphics1D]\n"
                               "Title=Line\n"
                               "AxisLineWidth=2\n"
                               "\n"
                               "[Extra]\n"
                               "Anything=at all\n";
  TOptions &options = Load(original);
  options.MainForm.Width = 1024;
  options.MainForm.State = 2;
  options.Data.Directory = "/data/with trailing blank ";
  options.Data.SleepPeriod = 99;
  options.Palette.File = "/p/a.ncm";
  options.DirectoryPanel.Outlook = 1;
  options.ControlPanel.FramesDelay = 300;
  options.ControlPanel.SkipFrames = 7;
  options.Graphics1D.AxisLineWidth = 5.0f;
  options.Graphics2D.ShowPoints = true;
  options.Graphics3D.ShapeStyle = 1;
  options.WindowHelp.Left = 7;
  ASSERT_TRUE(options.SaveToIni(Ini));

  const std::string text = ReadText(Ini);
  EXPECT_TRUE(text.starts_with("; Dendrovia settings\n\n[MainForm]\n; last size\nWidth=1024\n"
                               "Custom=keep\nState=2\nLeft=560\nTop=240\nHeight=600\n"
                               "Splitter=250\n\n[Data]\nSleepPeriod=40\n"
                               "Directory=\"/data/with trailing blank \"\nFileExtension=dat\n\n"
                               "[Graphics1D]\nTitle=Line\nAxisLineWidth=2\nLeft=5\nTop=55\n"
                               "Width=400\nHeight=300\n\n[Extra]\nAnything=at all\n\n"
                               "[Palette]\nFile=/p/a.ncm\n\n[DirectoryPanel]\nOutlook=1\n\n"
                               "[ControlPanel]\nLeft=100\nTop=300\n"
                               "FramesDelay=300\n\n[Graphics2D]\n"))
      << text;
  for (const char *key : {"ShowPoints=1\n", "ShapeStyle=1\n", "[WindowHelp]\nLeft=7\n"})
    EXPECT_NE(text.find(key), std::string::npos) << key;
  for (const char *unsaved : {"SkipFrames", "DataRange", "Title=2D", "FileExtension=ncm"})
    EXPECT_EQ(text.find(unsaved), std::string::npos) << unsaved;

  TOptions &again = Load(text);
  EXPECT_EQ(again.MainForm.Width, 1024);
  EXPECT_EQ(again.Data.SleepPeriod, 40);
  EXPECT_TRUE(again.Graphics2D.ShowPoints);
  EXPECT_EQ(again.WindowHelp.Left, 7);
  EXPECT_EQ(again.ControlPanel.FramesDelay, 300u);
}

TEST_F(OptionsTest, ColumnMoveThenSave) {
  TOptions &options = Load("[FilePanel]\nColumn1Title=Description\nColumn1Width=300\n"
                           "Column1DataType=2\nColumn2Title=Filename\nColumn2Width=120\n"
                           "Column2DataType=1\nColumn3Title=Last modified\nColumn3Width=140\n"
                           "Column3DataType=3\nColumn4Title=\nColumn5Title=Stale\n");
  ASSERT_EQ(options.ColumnCount(), 3);
  options.MoveColumn(1, 0);
  options.SetColumnWidth(2, 150);
  ASSERT_TRUE(options.SaveToIni(Ini));
  EXPECT_EQ(ReadText(Ini), "[FilePanel]\nColumn1Title=Filename\nColumn1Width=120\n"
                           "Column1DataType=1\nColumn2Title=Description\nColumn2Width=300\n"
                           "Column2DataType=2\nColumn3Title=Last modified\nColumn3Width=150\n"
                           "Column3DataType=3\nColumn4Title=\nColumn5Title=Stale\n"
                           "\n[MainForm]\nState=0\nLeft=560\nTop=240\nWidth=800\nHeight=600\n"
                           "Splitter=250\n"
                           "\n[Data]\nDirectory=" +
                               Dir.Path().string() +
                               "\nFileExtension=dat\n"
                               "\n[Palette]\nFile=\n"
                               "\n[DirectoryPanel]\nOutlook=0\n"
                               "\n[ControlPanel]\nLeft=100\nTop=300\nFramesDelay=250\n"
                               "\n[Graphics1D]\nLeft=5\nTop=55\nWidth=400\nHeight=300\n"
                               "\n[Graphics2D]\nLeft=405\nTop=55\nWidth=400\nHeight=300\n"
                               "SelectPointMode=0\nShowPoints=0\nShowPalette=0\nPaletteLeft=100\n"
                               "PaletteTop=100\n"
                               "\n[Graphics3D]\nLeft=805\nTop=55\nWidth=400\nHeight=300\n"
                               "ShowXYZAxes=0\nAxisLeft=100\nAxisTop=100\nAxisLengthPixel=100\n"
                               "AxisLengthum=100\nAxisLengthMode=0\nShowPalette=0\n"
                               "PaletteLeft=100\nPaletteTop=100\nShapeStyle=0\n"
                               "\n[GraphicsFt]\nLeft=605\nTop=55\nWidth=400\nHeight=300\n"
                               "\n[WindowInfo]\nLeft=390\nTop=230\nWidth=500\nHeight=400\n"
                               "\n[WindowHelp]\nLeft=310\nTop=200\nWidth=600\nHeight=400\n");
}

TEST_F(OptionsTest, ReadOnlyIniIsLeftUntouchedEvenForRoot) {
  const std::string original = "[MainForm]\nWidth=900\n";
  for (const mode_t mode : {0444, 0466, 0544}) {
    TOptions &options = Load(original);
    ::chmod(Ini.c_str(), mode);
    struct stat before {};
    ::stat(Ini.c_str(), &before);
    options.MainForm.Width = 1000;
    EXPECT_FALSE(options.SaveToIni(Ini)) << std::oct << mode;
    struct stat after {};
    ::stat(Ini.c_str(), &after);
    EXPECT_EQ(ReadText(Ini), original);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"dendrovia.ini"});
    ::chmod(Ini.c_str(), 0644);
  }
}

TEST_F(OptionsTest, SaveKeepsModeAndOwnerAndLeavesNoTemporaryFile) {
  TOptions &options = Load("[MainForm]\nWidth=900\n");
  ::chmod(Ini.c_str(), 0604);
  struct stat before {};
  ::stat(Ini.c_str(), &before);
  options.MainForm.Width = 1000;
  ASSERT_TRUE(options.SaveToIni(Ini));
  struct stat after {};
  ::stat(Ini.c_str(), &after);
  EXPECT_EQ(after.st_mode & 07777, 0604u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  // A new file replaced the old one: a reader holding the old one never sees half a file.
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_NE(ReadText(Ini).find("Width=1000\n"), std::string::npos);
  EXPECT_EQ(Dir.Names(), std::vector<std::string>{"dendrovia.ini"});
}

TEST_F(OptionsTest, FailedWriteLeavesTheOriginalIntact) {
  const std::string original = "[MainForm]\nWidth=900\n";
  TOptions &options = Load(original);
  options.MainForm.Width = 1000;

  // Files may not grow beyond 16 bytes, so writing the new contents fails midway;
  // unlike directory permissions this also holds for root.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 16;
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved_ok = options.SaveToIni(Ini);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(ReadText(Ini), original);
  EXPECT_EQ(Dir.Names(), std::vector<std::string>{"dendrovia.ini"});
}

// The INI text (UTF-8 here) as a file in one encoding: its mark, then the text.
struct TEncodingCase {
  const char *Name;
  const char *Mark;
  std::string (*Encode)(const std::string &text);
};

std::string Cp1251(const std::string &text) {
  // The Cyrillic letters used below; everything else is ASCII.
  const std::pair<std::string, char> letters[] = {
      {"\xD0\x9E", '\xCE'}, {"\xD0\xBF", '\xEF'}, {"\xD0\xB8", '\xE8'}, {"\xD1\x81", '\xF1'},
      {"\xD0\xB0", '\xE0'}, {"\xD0\xBD", '\xED'}, {"\xD0\xB5", '\xE5'}};
  std::string bytes;
  for (size_t i = 0; i < text.size();) {
    bool found = false;
    for (const auto &[utf8, byte] : letters)
      if (text.compare(i, utf8.size(), utf8) == 0) {
        bytes += byte;
        i += utf8.size();
        found = true;
      }
    if (!found)
      bytes += text[i++];
  }
  return bytes;
}

std::string Utf16LE(const std::string &text) {
  return EncodeUtf16(text, false);
}

std::string Utf16BE(const std::string &text) {
  return EncodeUtf16(text, true);
}

std::string Utf8(const std::string &text) {
  return text;
}

const TEncodingCase EncodingCases[] = {
    {"UTF-16LE", "\xFF\xFE", Utf16LE},
    {"UTF-16BE", "\xFE\xFF", Utf16BE},
    {"code page 1251", "", Cp1251},
    {"UTF-8 with mark", "\xEF\xBB\xBF", Utf8},
};

TEST_F(OptionsTest, AChangedOptionIsTheOnlyChangeWhateverTheEncoding) {
  // "Opisanie" in Cyrillic, a comment and a blank-padded key, with CR LF.
  const std::string title = "\xD0\x9E\xD0\xBF\xD0\xB8\xD1\x81\xD0\xB0\xD0\xBD\xD0\xB8\xD0\xB5";
  const std::string text = "; " + title +
                           "\r\n[MainForm]\r\nWidth = 900\r\n\r\n[FilePanel]\r\n"
                           "Column1Title=" +
                           title +
                           "\r\nColumn1Width=220\r\nColumn1DataType=2\r\n"
                           "[Graphics1D]\r\nTitle=" +
                           title + "\r\n";
  for (const TEncodingCase &c : EncodingCases) {
    SCOPED_TRACE(c.Name);
    // A first run adds the keys the file lacks; from then on the file is complete.
    Load(c.Mark + c.Encode(text));
    ASSERT_TRUE(TOptions::Instance().SaveToIni(Ini));
    const std::string complete = ReadText(Ini);
    ASSERT_NE(complete.find(c.Encode("Width = 900\r\nState=0\r\n")), std::string::npos);

    TOptions &options = Load(complete);
    EXPECT_EQ(options.MainForm.Width, 900);
    const std::string shown = std::string(c.Name) == "code page 1251" ? Cp1251(title) : title;
    EXPECT_EQ(options.ColumnTitle(0), shown);
    EXPECT_EQ(options.Graphics1D.Title, shown);
    options.MainForm.Width = 1000;
    ASSERT_TRUE(options.SaveToIni(Ini));
    std::string expected = complete;
    const std::string before = c.Encode("Width = 900"), after = c.Encode("Width = 1000");
    expected.replace(expected.find(before), before.size(), after);
    EXPECT_EQ(ReadText(Ini), expected);

    // A run that changes nothing does not write at all.
    TOptions &same = Load(expected);
    struct stat unchanged {};
    ::stat(Ini.c_str(), &unchanged);
    ASSERT_TRUE(same.SaveToIni(Ini));
    struct stat again {};
    ::stat(Ini.c_str(), &again);
    EXPECT_EQ(again.st_ino, unchanged.st_ino);
    EXPECT_EQ(again.st_mtim.tv_nsec, unchanged.st_mtim.tv_nsec);
  }
  EXPECT_TRUE(Reports.empty());
}

TEST_F(OptionsTest, AFileWithANulByteIsNeitherReadNorOverwritten) {
  const std::string original =
      std::string("[MainForm]\nWidth=900\n\0junk\n[Graphics1D]\nTitle=x\n", 41);
  TOptions &options = Load(original);
  EXPECT_EQ(options.MainForm.Width, 800);
  EXPECT_EQ(options.Graphics1D.Title, "1D");
  options.MainForm.Width = 1000;
  EXPECT_FALSE(options.SaveToIni(Ini));
  EXPECT_EQ(ReadText(Ini), original);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].first, "Saving options");
  EXPECT_NE(Reports[0].second.find(Ini), std::string::npos);
}

// Runs work as the user "nobody" in a child process, where root would pass every
// permission check; returns its exit code.
int RunAsNobody(const std::function<int()> &work) {
  const passwd *nobody = ::getpwnam("nobody");
  if (nobody == nullptr)
    return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
      ::_exit(100);
    ::_exit(work());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(OptionsTest, WithoutTheRenameTheFileIsWrittenInPlaceOrTheFailureReported) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root, to make files of another user and to become nobody";
  const std::string original = "[MainForm]\nWidth=900\n";
  const struct {
    const char *Name;
    mode_t DirectoryMode, FileMode;
    rlim_t SizeLimit;
    const char *Reason; // nullptr: saved
  } cases[] = {
      {"directory not writable", 0755, 0666, RLIM_INFINITY, nullptr},
      {"file of another user", 0777, 0666, RLIM_INFINITY, nullptr},
      {"file that may not be written", 0777, 0644, RLIM_INFINITY, "Permission denied"},
      // Fails midway in place: the old contents are put back.
      {"file that cannot grow", 0755, 0666, 64, "File too large"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    WriteText(Ini, original);
    ::chmod(Dir.Path().c_str(), c.DirectoryMode);
    ::chmod(Ini.c_str(), c.FileMode);
    struct stat before {};
    ::stat(Ini.c_str(), &before);
    const int outcome = RunAsNobody([&] {
      Reports.clear();
      TOptions::ReleaseInstance();
      TOptions &options = TOptions::Instance();
      options.LoadFromIni(Ini);
      options.MainForm.Width = 1000;
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{c.SizeLimit, c.SizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      const bool saved = options.SaveToIni(Ini);
      const std::string reason = Ini + ": " + (c.Reason ? c.Reason : "");
      const bool reported = Reports.size() == 1 && Reports[0].first == "Saving options" &&
                            Reports[0].second.ends_with(reason);
      return (saved ? 1 : 0) | (reported ? 2 : 0);
    });
    ::chmod(Dir.Path().c_str(), 0755);
    EXPECT_EQ(outcome, c.Reason ? 2 : 1);
    struct stat after {};
    ::stat(Ini.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode & 07777, c.FileMode);
    const std::string text = ReadText(Ini);
    if (c.Reason)
      EXPECT_EQ(text, original);
    else
      EXPECT_NE(text.find("Width=1000\n"), std::string::npos) << text;
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"dendrovia.ini"});
  }
}

TEST_F(OptionsTest, ValuesWithLineBreaksAreNotWritten) {
  TOptions &options = Load("[Data]\nDirectory=/old\n");
  options.Data.Directory = "/new\n[MainForm]\nWidth=1";
  options.MainForm.Width = 900;
  ASSERT_TRUE(options.SaveToIni(Ini));
  const std::string text = ReadText(Ini);
  EXPECT_NE(text.find("Directory=/old\n"), std::string::npos);
  EXPECT_EQ(Load(text).MainForm.Width, 900);
}

} // namespace
