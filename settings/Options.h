#pragma once

#include "settings/NumberFormat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One column of the main window's file list.
struct TFileBrowserItem {
  std::string Title;
  int32_t Width = 100;
  uint8_t DataType = 0; // 0 nothing, 1 file name, 2 header description, 3 last-modified time
};

// What the settings need to know about the machine. The shell fills it from the
// primary screen and the executable's path before the first Instance() call; tests
// choose their own values.
struct TOptionsEnvironment {
  int32_t ScreenWidth = 1920;
  int32_t ScreenHeight = 1080;
  std::string ExecutablePath; // full path of the executable; its directory is Data.Directory
};

// Shows an error to the user (caption, text). The shell routes it to a message box.
using TOptionsErrorReport =
    std::function<void(const std::string &caption, const std::string &text)>;

// Bounds and caption of one window.
struct TWindowSettings {
  std::string Title;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

// The one settings object of the process, backed by the INI file beside the executable.
class TOptions {
public:
  struct TMainFormSettings {
    uint8_t State = 0; // 0 normal, 1 minimised, 2 maximised
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 800;
    int32_t Height = 600;
    int32_t Splitter = 250;
  };
  struct TDataSettings {
    std::string Directory;
    std::string FileExtension = "dat";
    int32_t SleepPeriod = 15;
  };
  struct TPaletteSettings {
    std::string File;
    std::string FileExtension = "ncm";
  };
  struct TDirectoryPanelSettings {
    uint8_t Outlook = 0; // 0 directory list, 1 directory outline
  };
  struct TControlPanelSettings {
    int32_t Left = 100;
    int32_t Top = 300;
    std::string DataRange = "Data range : ";
    std::string DataRangeFormat = "%0.3f"; // always accepted by IsFloatFormat
    std::string TimeRange = "Time range : ";
    std::string TimeRangeFormat = "%0.3f"; // always accepted by IsFloatFormat
    std::string VariableScale = "Variable scale : ";
    std::string TimeScale = "Time scale : ";
    uint32_t SkipFramesMin = 0;
    uint32_t SkipFramesMax = 100;
    uint32_t SkipFrames = 0;
    uint32_t FramesDelayMin = 0;
    uint32_t FramesDelayMax = 1000;
    uint32_t FramesDelay = 250;
  };
  struct TGraphics1DSettings : TWindowSettings {
    float AxisLineWidth = 1.0f;
    float GraphicLineWidth = 1.0f;
  };
  struct TGraphics2DSettings : TWindowSettings {
    double DistanceBetweenItems = 20.0;
    double DistanceBetweenLevels = 10.0;
    float GraphicLineWidth = 1.0f;
    float ConnectionLineWidth = 1.0f;
    float ScaleLineWidth = 1.0f;
    int32_t SelectPointMode = 0;
    bool ShowPoints = false;
    bool ShowPalette = false;
    int32_t PaletteLeft = 100;
    int32_t PaletteTop = 100;
  };
  struct TGraphics3DSettings : TWindowSettings {
    bool ShowXYZAxes = false;
    int32_t AxisLeft = 100;
    int32_t AxisTop = 100;
    int32_t AxisLengthPixel = 100;
    int32_t AxisLengthum = 100;
    int32_t AxisLengthMode = 0; // 0 AxisLengthPixel, 1 AxisLengthum
    float AxisLineWidth = 1.0f;
    float GraphicLineWidth = 1.0f;
    bool ShowPalette = false;
    int32_t PaletteLeft = 100;
    int32_t PaletteTop = 100;
    int32_t ShapeStyle = 0; // 0 wire, 1 diameter
  };
  struct TGraphicsFtSettings : TWindowSettings {
    float AxisLineWidth = 1.0f;
    float GraphicLineWidth = 1.0f;
  };

  // Creates the object with its defaults on the first call.
  static TOptions &Instance();
  // Destroys the object; a later Instance() creates a fresh one with defaults.
  static void ReleaseInstance();

  // Used by the constructor (centred main window, Data.Directory) and by LoadFromIni.
  static void SetEnvironment(const TOptionsEnvironment &environment);
  static const TOptionsEnvironment &Environment();
  // Where LoadFromIni reports a missing palette file and SaveToIni a file it could
  // not write; without one the report goes to stderr.
  static void SetErrorReport(TOptionsErrorReport report);

  // Overwrites the settings from the INI file. A missing file changes nothing; a
  // missing or invalid key keeps the setting's value.
  void LoadFromIni(const std::string &path);
  // Writes the saved settings into the INI file, keeping every other byte of it.
  // Returns false, leaving the file untouched, when it is missing, read-only (no owner
  // write bit), cannot be read, or the new contents cannot be written completely; the
  // last two are reported (caption "Saving options") with the file and the reason.
  bool SaveToIni(const std::string &path);
  // True once LoadFromIni found its file.
  bool IsLoaded() const { return !IniFileName_.empty(); }
  const std::string &IniFileName() const { return IniFileName_; }

  // Message table entry; an index outside 1..3 gives "Unknown error".
  std::string ErrorMessage(int index) const;

  // File-list columns. Getters return ""/0 and setters do nothing for an index out of range.
  int ColumnCount() const { return static_cast<int>(Columns_.size()); }
  std::string ColumnTitle(int index) const;
  void SetColumnTitle(int index, const std::string &title);
  int32_t ColumnWidth(int index) const;
  void SetColumnWidth(int index, int32_t width);
  uint8_t ColumnDataType(int index) const;
  // Moves a column as in a list move; does nothing when either index is out of range.
  void MoveColumn(int from, int to);

  TMainFormSettings MainForm;
  TDataSettings Data;
  const std::string DataFileSignature = "MTSD";
  TPaletteSettings Palette;
  TDirectoryPanelSettings DirectoryPanel;
  TControlPanelSettings ControlPanel;
  TGraphics1DSettings Graphics1D;
  TGraphics2DSettings Graphics2D;
  TGraphics3DSettings Graphics3D;
  TGraphicsFtSettings GraphicsFt;
  TWindowSettings WindowInfo;
  TWindowSettings WindowHelp;

  TOptions(const TOptions &) = delete;
  TOptions &operator=(const TOptions &) = delete;
  ~TOptions();

private:
  TOptions();
  void ReportMissingFile(const std::string &name) const;
  void ReportSaveFailure(const std::string &path, const std::string &reason) const;
  void Report(const std::string &caption, const std::string &text) const;

  std::string IniFileName_;
  std::vector<std::string> Messages_;
  std::vector<TFileBrowserItem> Columns_;
};
