#include "settings/Options.h"

#include "settings/IniFile.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include <sys/stat.h>

namespace {

TOptionsEnvironment &EnvironmentStorage() {
  static TOptionsEnvironment environment;
  return environment;
}

TOptionsErrorReport &ErrorReportStorage() {
  static TOptionsErrorReport report;
  return report;
}

std::unique_ptr<TOptions> &InstanceStorage() {
  static std::unique_ptr<TOptions> instance;
  return instance;
}

std::string Trim(const std::string &text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  return text.substr(begin, end - begin);
}

std::string ColumnKey(int number, const char *field) {
  return "Column" + std::to_string(number) + field;
}

void SetWindowDefaults(TWindowSettings &window, const char *title, int32_t left, int32_t top,
                       int32_t width, int32_t height) {
  window.Title = title;
  window.Left = left;
  window.Top = top;
  window.Width = width;
  window.Height = height;
}

// Reads keys of one section, each accepted only when it passes its check.
class TSectionReader {
public:
  TSectionReader(const TIniFile &ini, const char *section) : Ini_(ini), Section_(section) {}

  std::optional<std::string> String(const char *key) const { return Ini_.Value(Section_, key); }

  // Trimmed and non-empty.
  void Text(const char *key, std::string &field) const {
    if (const auto value = String(key)) {
      const std::string trimmed = Trim(*value);
      if (!trimmed.empty())
        field = trimmed;
    }
  }

  // Taken as read, even when empty.
  void RawText(const char *key, std::string &field) const {
    if (const auto value = String(key))
      field = *value;
  }

  template <typename T> void Integer(const char *key, T &field, int64_t min, int64_t max) const {
    if (const auto value = Ini_.Integer(Section_, key); value && *value >= min && *value <= max)
      field = static_cast<T>(*value);
  }

  // The four boolean keys fall back to false when missing or not a number.
  void Boolean(const char *key, bool &field) const {
    field = Ini_.Integer(Section_, key).value_or(0) != 0;
  }

  std::optional<double> Number(const char *key) const {
    const auto text = String(key);
    double value = 0.0;
    if (!text || !TryParseFloat(*text, value))
      return std::nullopt;
    return value;
  }

  void Float(const char *key, double &field) const {
    if (const auto value = Number(key))
      field = *value;
  }

  void Float(const char *key, float &field) const {
    if (const auto value = Number(key); value && std::isfinite(static_cast<float>(*value)))
      field = static_cast<float>(*value);
  }

  void Left(const char *key, int32_t &field) const {
    Integer(key, field, 0, int64_t{EnvironmentStorage().ScreenWidth} - 1);
  }
  void Top(const char *key, int32_t &field) const {
    Integer(key, field, 0, int64_t{EnvironmentStorage().ScreenHeight} - 1);
  }
  void Width(const char *key, int32_t &field) const {
    Integer(key, field, 1, int64_t{EnvironmentStorage().ScreenWidth} - 1);
  }
  void Height(const char *key, int32_t &field) const {
    Integer(key, field, 1, int64_t{EnvironmentStorage().ScreenHeight} - 1);
  }

  void Window(TWindowSettings &window) const {
    Text("Title", window.Title);
    Left("Left", window.Left);
    Top("Top", window.Top);
    Width("Width", window.Width);
    Height("Height", window.Height);
  }

  // Negative numbers would wrap to huge unsigned ones and break the range checks.
  void Unsigned(const char *key, uint32_t &field) const { Integer(key, field, 0, INT32_MAX); }

  // A format the program hands to printf, so it must format exactly one double.
  void Format(const char *key, std::string &field) const {
    std::string format = field;
    Text(key, format);
    if (IsFloatFormat(format))
      field = format;
  }

private:
  const TIniFile &Ini_;
  std::string Section_;
};

class TSectionWriter {
public:
  TSectionWriter(TIniFile &ini, const char *section) : Ini_(ini), Section_(section) {}

  void String(const std::string &key, const std::string &value) {
    Ini_.SetValue(Section_, key, value);
  }
  void Integer(const std::string &key, int64_t value) { Ini_.SetInteger(Section_, key, value); }
  void Bounds(const TWindowSettings &window) {
    Integer("Left", window.Left);
    Integer("Top", window.Top);
    Integer("Width", window.Width);
    Integer("Height", window.Height);
  }

private:
  TIniFile &Ini_;
  std::string Section_;
};

} // namespace

TOptions &TOptions::Instance() {
  auto &instance = InstanceStorage();
  if (!instance)
    instance.reset(new TOptions());
  return *instance;
}

void TOptions::ReleaseInstance() {
  InstanceStorage().reset();
}

void TOptions::SetEnvironment(const TOptionsEnvironment &environment) {
  EnvironmentStorage() = environment;
}

const TOptionsEnvironment &TOptions::Environment() {
  return EnvironmentStorage();
}

void TOptions::SetErrorReport(TOptionsErrorReport report) {
  ErrorReportStorage() = std::move(report);
}

TOptions::TOptions()
    : Messages_{"Unknown error", "Invalid number format", "Invalid number value",
                "File %s not found"} {
  const TOptionsEnvironment &environment = EnvironmentStorage();
  MainForm.Left = (environment.ScreenWidth - MainForm.Width) / 2;
  MainForm.Top = (environment.ScreenHeight - MainForm.Height) / 2;
  Data.Directory = std::filesystem::path(environment.ExecutablePath).parent_path().string();
  SetWindowDefaults(Graphics1D, "1D", 5, 55, 400, 300);
  SetWindowDefaults(Graphics2D, "2D", 405, 55, 400, 300);
  SetWindowDefaults(Graphics3D, "3D", 805, 55, 400, 300);
  SetWindowDefaults(GraphicsFt, "Ft", 605, 55, 400, 300);
  SetWindowDefaults(WindowInfo, "Info", 390, 230, 500, 400);
  SetWindowDefaults(WindowHelp, "Help", 310, 200, 600, 400);
}

TOptions::~TOptions() = default;

std::string TOptions::ErrorMessage(int index) const {
  if (index <= 0 || index >= static_cast<int>(Messages_.size()))
    return Messages_[0];
  return Messages_[static_cast<size_t>(index)];
}

std::string TOptions::ColumnTitle(int index) const {
  return index >= 0 && index < ColumnCount() ? Columns_[static_cast<size_t>(index)].Title
                                             : std::string();
}

void TOptions::SetColumnTitle(int index, const std::string &title) {
  if (index >= 0 && index < ColumnCount())
    Columns_[static_cast<size_t>(index)].Title = title;
}

int32_t TOptions::ColumnWidth(int index) const {
  return index >= 0 && index < ColumnCount() ? Columns_[static_cast<size_t>(index)].Width : 0;
}

void TOptions::SetColumnWidth(int index, int32_t width) {
  if (index >= 0 && index < ColumnCount())
    Columns_[static_cast<size_t>(index)].Width = width;
}

uint8_t TOptions::ColumnDataType(int index) const {
  return index >= 0 && index < ColumnCount() ? Columns_[static_cast<size_t>(index)].DataType : 0;
}

void TOptions::MoveColumn(int from, int to) {
  if (from < 0 || from >= ColumnCount() || to < 0 || to >= ColumnCount() || from == to)
    return;
  TFileBrowserItem item = std::move(Columns_[static_cast<size_t>(from)]);
  Columns_.erase(Columns_.begin() + from);
  Columns_.insert(Columns_.begin() + to, std::move(item));
}

void TOptions::LoadFromIni(const std::string &path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    return;
  IniFileName_ = path;
  TIniFile ini;
  // A file that cannot be read behaves as an empty one: every setting keeps its value.
  ini.Load(path);

  const TSectionReader mainForm(ini, "MainForm");
  mainForm.Integer("State", MainForm.State, 0, 2);
  mainForm.Left("Left", MainForm.Left);
  mainForm.Top("Top", MainForm.Top);
  mainForm.Width("Width", MainForm.Width);
  mainForm.Height("Height", MainForm.Height);
  mainForm.Integer("Splitter", MainForm.Splitter, 0, int64_t{MainForm.Width} - 1);

  const TSectionReader data(ini, "Data");
  if (const auto directory = data.String("Directory")) {
    const std::string trimmed = Trim(*directory);
    if (!trimmed.empty() && std::filesystem::is_directory(trimmed, error))
      Data.Directory = trimmed;
  }
  data.Text("FileExtension", Data.FileExtension);
  data.Integer("SleepPeriod", Data.SleepPeriod, 0, INT32_MAX);

  const TSectionReader palette(ini, "Palette");
  if (const auto file = palette.String("File")) {
    const std::string trimmed = Trim(*file);
    if (!trimmed.empty()) {
      if (std::filesystem::is_regular_file(trimmed, error))
        Palette.File = trimmed;
      else
        ReportMissingFile(trimmed);
    }
  }
  palette.Text("FileExtension", Palette.FileExtension);

  TSectionReader(ini, "DirectoryPanel").Integer("Outlook", DirectoryPanel.Outlook, 0, 1);

  const TSectionReader filePanel(ini, "FilePanel");
  Columns_.clear();
  for (int n = 1;; ++n) {
    const std::string title = Trim(filePanel.String(ColumnKey(n, "Title").c_str()).value_or(""));
    if (title.empty())
      break;
    TFileBrowserItem column;
    column.Title = title;
    filePanel.Integer(ColumnKey(n, "Width").c_str(), column.Width, INT32_MIN, INT32_MAX);
    filePanel.Integer(ColumnKey(n, "DataType").c_str(), column.DataType, 1, 3);
    Columns_.push_back(std::move(column));
  }

  const TSectionReader controlPanel(ini, "ControlPanel");
  controlPanel.Left("Left", ControlPanel.Left);
  controlPanel.Top("Top", ControlPanel.Top);
  controlPanel.RawText("DataRange", ControlPanel.DataRange);
  controlPanel.Format("DataRangeFormat", ControlPanel.DataRangeFormat);
  controlPanel.RawText("TimeRange", ControlPanel.TimeRange);
  controlPanel.Format("TimeRangeFormat", ControlPanel.TimeRangeFormat);
  controlPanel.RawText("VariableScale", ControlPanel.VariableScale);
  controlPanel.RawText("TimeScale", ControlPanel.TimeScale);
  controlPanel.Unsigned("SkipFramesMin", ControlPanel.SkipFramesMin);
  controlPanel.Unsigned("SkipFramesMax", ControlPanel.SkipFramesMax);
  controlPanel.Unsigned("SkipFrames", ControlPanel.SkipFrames);
  controlPanel.Unsigned("FramesDelayMin", ControlPanel.FramesDelayMin);
  controlPanel.Unsigned("FramesDelayMax", ControlPanel.FramesDelayMax);
  controlPanel.Unsigned("FramesDelay", ControlPanel.FramesDelay);
  TControlPanelSettings &cp = ControlPanel;
  if (cp.SkipFramesMax <= cp.SkipFramesMin)
    cp.SkipFramesMax = cp.SkipFramesMin + 100;
  if (cp.SkipFrames < cp.SkipFramesMin)
    cp.SkipFrames = cp.SkipFramesMin;
  if (cp.SkipFrames > cp.SkipFramesMax)
    cp.SkipFrames = cp.SkipFramesMax;
  if (cp.FramesDelayMax <= cp.FramesDelayMin)
    cp.FramesDelayMax = cp.FramesDelayMin + 1000;
  if (cp.FramesDelay < cp.FramesDelayMin || cp.FramesDelay > cp.FramesDelayMax)
    cp.FramesDelay =
        static_cast<uint32_t>((uint64_t{cp.FramesDelayMin} + uint64_t{cp.FramesDelayMax}) / 2);

  const TSectionReader graphics1D(ini, "Graphics1D");
  graphics1D.Window(Graphics1D);
  graphics1D.Float("AxisLineWidth", Graphics1D.AxisLineWidth);
  graphics1D.Float("GraphicLineWidth", Graphics1D.GraphicLineWidth);

  const TSectionReader graphics2D(ini, "Graphics2D");
  graphics2D.Window(Graphics2D);
  graphics2D.Float("DistanceBetweenItems", Graphics2D.DistanceBetweenItems);
  graphics2D.Float("DistanceBetweenLevels", Graphics2D.DistanceBetweenLevels);
  graphics2D.Float("GraphicLineWidth", Graphics2D.GraphicLineWidth);
  graphics2D.Float("ConnectionLineWidth", Graphics2D.ConnectionLineWidth);
  graphics2D.Float("ScaleLineWidth", Graphics2D.ScaleLineWidth);
  graphics2D.Integer("SelectPointMode", Graphics2D.SelectPointMode, 0, 5);
  graphics2D.Boolean("ShowPoints", Graphics2D.ShowPoints);
  graphics2D.Boolean("ShowPalette", Graphics2D.ShowPalette);
  graphics2D.Left("PaletteLeft", Graphics2D.PaletteLeft);
  graphics2D.Top("PaletteTop", Graphics2D.PaletteTop);

  const TSectionReader graphics3D(ini, "Graphics3D");
  graphics3D.Window(Graphics3D);
  graphics3D.Boolean("ShowXYZAxes", Graphics3D.ShowXYZAxes);
  graphics3D.Left("AxisLeft", Graphics3D.AxisLeft);
  graphics3D.Top("AxisTop", Graphics3D.AxisTop);
  graphics3D.Integer("AxisLengthPixel", Graphics3D.AxisLengthPixel, 1, INT32_MAX);
  graphics3D.Integer("AxisLengthum", Graphics3D.AxisLengthum, 1, INT32_MAX);
  graphics3D.Integer("AxisLengthMode", Graphics3D.AxisLengthMode, 0, 1);
  graphics3D.Float("AxisLineWidth", Graphics3D.AxisLineWidth);
  graphics3D.Float("GraphicLineWidth", Graphics3D.GraphicLineWidth);
  graphics3D.Boolean("ShowPalette", Graphics3D.ShowPalette);
  graphics3D.Left("PaletteLeft", Graphics3D.PaletteLeft);
  graphics3D.Top("PaletteTop", Graphics3D.PaletteTop);
  graphics3D.Integer("ShapeStyle", Graphics3D.ShapeStyle, 0, 1);

  const TSectionReader graphicsFt(ini, "GraphicsFt");
  graphicsFt.Window(GraphicsFt);
  graphicsFt.Float("AxisLineWidth", GraphicsFt.AxisLineWidth);
  graphicsFt.Float("GraphicLineWidth", GraphicsFt.GraphicLineWidth);

  TSectionReader(ini, "WindowInfo").Window(WindowInfo);
  TSectionReader(ini, "WindowHelp").Window(WindowHelp);
}

bool TOptions::SaveToIni(const std::string &path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      (status.st_mode & S_IWUSR) == 0)
    return false;
  TIniFile ini;
  if (!ini.Load(path)) {
    // Never overwritten: what it holds beyond the unreadable part would be lost.
    ReportSaveFailure(path, "its contents could not be read as settings");
    return false;
  }

  TSectionWriter mainForm(ini, "MainForm");
  mainForm.Integer("State", MainForm.State);
  mainForm.Integer("Left", MainForm.Left);
  mainForm.Integer("Top", MainForm.Top);
  mainForm.Integer("Width", MainForm.Width);
  mainForm.Integer("Height", MainForm.Height);
  mainForm.Integer("Splitter", MainForm.Splitter);

  TSectionWriter data(ini, "Data");
  data.String("Directory", Data.Directory);
  data.String("FileExtension", Data.FileExtension);

  TSectionWriter(ini, "Palette").String("File", Palette.File);

  TSectionWriter(ini, "DirectoryPanel").Integer("Outlook", DirectoryPanel.Outlook);

  TSectionWriter filePanel(ini, "FilePanel");
  for (int n = 1; n <= ColumnCount(); ++n) {
    const TFileBrowserItem &column = Columns_[static_cast<size_t>(n - 1)];
    filePanel.String(ColumnKey(n, "Title"), column.Title);
    filePanel.Integer(ColumnKey(n, "Width"), column.Width);
    filePanel.Integer(ColumnKey(n, "DataType"), column.DataType);
  }

  TSectionWriter controlPanel(ini, "ControlPanel");
  controlPanel.Integer("Left", ControlPanel.Left);
  controlPanel.Integer("Top", ControlPanel.Top);
  controlPanel.Integer("FramesDelay", ControlPanel.FramesDelay);

  TSectionWriter(ini, "Graphics1D").Bounds(Graphics1D);

  TSectionWriter graphics2D(ini, "Graphics2D");
  graphics2D.Bounds(Graphics2D);
  graphics2D.Integer("SelectPointMode", Graphics2D.SelectPointMode);
  graphics2D.Integer("ShowPoints", Graphics2D.ShowPoints);
  graphics2D.Integer("ShowPalette", Graphics2D.ShowPalette);
  graphics2D.Integer("PaletteLeft", Graphics2D.PaletteLeft);
  graphics2D.Integer("PaletteTop", Graphics2D.PaletteTop);

  TSectionWriter graphics3D(ini, "Graphics3D");
  graphics3D.Bounds(Graphics3D);
  graphics3D.Integer("ShowXYZAxes", Graphics3D.ShowXYZAxes);
  graphics3D.Integer("AxisLeft", Graphics3D.AxisLeft);
  graphics3D.Integer("AxisTop", Graphics3D.AxisTop);
  graphics3D.Integer("AxisLengthPixel", Graphics3D.AxisLengthPixel);
  graphics3D.Integer("AxisLengthum", Graphics3D.AxisLengthum);
  graphics3D.Integer("AxisLengthMode", Graphics3D.AxisLengthMode);
  graphics3D.Integer("ShowPalette", Graphics3D.ShowPalette);
  graphics3D.Integer("PaletteLeft", Graphics3D.PaletteLeft);
  graphics3D.Integer("PaletteTop", Graphics3D.PaletteTop);
  graphics3D.Integer("ShapeStyle", Graphics3D.ShapeStyle);

  TSectionWriter(ini, "GraphicsFt").Bounds(GraphicsFt);
  TSectionWriter(ini, "WindowInfo").Bounds(WindowInfo);
  TSectionWriter(ini, "WindowHelp").Bounds(WindowHelp);

  std::string reason;
  if (!ini.Save(path, &reason)) {
    ReportSaveFailure(path, reason);
    return false;
  }
  return true;
}

void TOptions::ReportSaveFailure(const std::string &path, const std::string &reason) const {
  Report("Saving options", "The settings could not be saved to " + path + ": " + reason);
}

void TOptions::ReportMissingFile(const std::string &name) const {
  std::string text = ErrorMessage(3);
  // The name goes in as text: it may itself contain "%".
  text.replace(text.find("%s"), 2, name);
  Report("Loading options", text);
}

void TOptions::Report(const std::string &caption, const std::string &text) const {
  const TOptionsErrorReport &report = ErrorReportStorage();
  if (report)
    report(caption, text);
  else
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}
