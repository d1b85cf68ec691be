#include "app/RenderCommand.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<double> ToNumber(const std::string &text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty())
    return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<long> ToInteger(const std::string &text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || !std::all_of(trimmed.begin(), trimmed.end(), [](unsigned char c) {
        return std::isdigit(c) || c == '-' || c == '+';
      }))
    return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const long value = std::strtol(trimmed.c_str(), &end, 10);
  if (errno != 0 || *end != '\0')
    return std::nullopt;
  return value;
}

bool EndsWith(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Reads one option's value into the request; the error says what is wrong.
using TOptionReader = std::function<std::string(TRenderRequest &, const std::string &)>;

std::string ReadView(TRenderRequest &request, const std::string &value) {
  static const std::map<std::string, TRenderView> views{{"1d", TRenderView::Graph1D},
                                                        {"2d", TRenderView::Graph2D},
                                                        {"3d", TRenderView::Graph3D},
                                                        {"ft", TRenderView::Ft},
                                                        {"f(t)", TRenderView::Ft}};
  const auto found = views.find(Lower(value));
  if (found == views.end())
    return "unknown view '" + value + "': give 1d, 2d, 3d or ft";
  request.View = found->second;
  return {};
}

std::string ReadSize(TRenderRequest &request, const std::string &value) {
  const size_t x = Lower(value).find('x');
  const std::optional<long> width =
      x == std::string::npos ? std::nullopt : ToInteger(value.substr(0, x));
  const std::optional<long> height =
      x == std::string::npos ? std::nullopt : ToInteger(value.substr(x + 1));
  if (!width || !height)
    return "--size takes WIDTHxHEIGHT in pixels, such as 800x600, not '" + value + "'";
  if (*width < 1 || *height < 1 || *width > MaxRenderSize || *height > MaxRenderSize)
    return "--size " + value + ": width and height must lie between 1 and " +
           std::to_string(MaxRenderSize);
  request.Width = static_cast<int>(*width);
  request.Height = static_cast<int>(*height);
  return {};
}

TOptionReader TimeReader(std::optional<double> TRenderRequest::*field, const char *option) {
  return [field, option](TRenderRequest &request, const std::string &value) -> std::string {
    const std::optional<double> time = ToNumber(value);
    if (!time)
      return std::string(option) + " takes a time, not '" + value + "'";
    request.*field = *time;
    return {};
  };
}

std::string ReadFramesPerSecond(TRenderRequest &request, const std::string &value) {
  const std::optional<long> fps = ToInteger(value);
  if (!fps || *fps < 1 || *fps > 1000)
    return "--fps takes frames per second from 1 to 1000, not '" + value + "'";
  request.FramesPerSecond = static_cast<int>(*fps);
  return {};
}

std::string ReadScale(TRenderRequest &request, const std::string &value) {
  const size_t comma = value.find(',');
  const std::optional<double> low =
      comma == std::string::npos ? std::nullopt : ToNumber(value.substr(0, comma));
  const std::optional<double> high =
      comma == std::string::npos ? std::nullopt : ToNumber(value.substr(comma + 1));
  if (!low || !high || !(*low < *high) || !std::isfinite(*high - *low))
    return "--scale takes MIN,MAX with MIN below MAX, not '" + value + "'";
  request.ScaleMin = *low;
  request.ScaleMax = *high;
  return {};
}

std::string ReadStyle(TRenderRequest &request, const std::string &value) {
  const std::string style = Lower(value);
  if (style != "wire" && style != "diameter")
    return "--style takes wire or diameter, not '" + value + "'";
  request.ShapeStyle = style == "wire" ? 0 : 1;
  return {};
}

std::string ReadPoints(TRenderRequest &request, const std::string &value) {
  request.Points = ParseRenderPoints(value);
  if (!request.Points)
    return "--points takes SECTION(X),... with X from 0 to 1, such as \"soma(0.5),dend[2](1)\", "
           "not '" +
           value + "'";
  return {};
}

const std::map<std::string, TOptionReader> &OptionReaders() {
  static const std::map<std::string, TOptionReader> readers{
      {"--render",
       [](TRenderRequest &r, const std::string &v) {
         r.DataFile = v;
         return std::string();
       }},
      {"--view", ReadView},
      {"--out",
       [](TRenderRequest &r, const std::string &v) {
         r.Output = v;
         r.OutputKind = RenderOutputKind(v);
         return std::string();
       }},
      {"--size", ReadSize},
      {"--at", TimeReader(&TRenderRequest::At, "--at")},
      {"--from", TimeReader(&TRenderRequest::From, "--from")},
      {"--to", TimeReader(&TRenderRequest::To, "--to")},
      {"--fps", ReadFramesPerSecond},
      {"--palette",
       [](TRenderRequest &r, const std::string &v) {
         r.Palette = v;
         return std::string();
       }},
      {"--scale", ReadScale},
      {"--style", ReadStyle},
      {"--points", ReadPoints},
  };
  return readers;
}

// What the options given together must agree on.
std::string CheckRequest(const TRenderRequest &request, bool viewGiven) {
  if (request.DataFile.empty())
    return "--render needs the data file";
  if (!viewGiven)
    return "--view is missing: give 1d, 2d, 3d or ft";
  if (request.Output.empty())
    return "--out is missing: give a .png, .jpg or .mp4 file, or a folder";
  if (request.At && (request.From || request.To))
    return "--at gives one picture; --from and --to give a movie: not both";
  if (request.OutputKind == TRenderOutput::Picture && (request.From || request.To))
    return "a picture shows one frame: choose it with --at";
  if (request.OutputKind != TRenderOutput::Picture && request.At)
    return "--at chooses the frame of a picture: give a .png or .jpg to --out, or --from and "
           "--to for a movie";
  if (request.From && request.To && *request.From > *request.To)
    return "--from must not come after --to";
  return {};
}

} // namespace

bool IsRenderCommand(const std::vector<std::string> &arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](const std::string &a) {
    return a == "--render" || a.rfind("--render=", 0) == 0;
  });
}

bool IsHelpCommand(const std::vector<std::string> &arguments) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [](const std::string &a) { return a == "--help" || a == "-h"; });
}

TRenderOutput RenderOutputKind(const std::string &name) {
  const std::string lower = Lower(name);
  if (lower.find('%') != std::string::npos || EndsWith(lower, "/"))
    return TRenderOutput::Images;
  if (EndsWith(lower, ".png") || EndsWith(lower, ".jpg") || EndsWith(lower, ".jpeg"))
    return TRenderOutput::Picture;
  if (EndsWith(lower, ".mp4"))
    return TRenderOutput::Movie;
  const size_t slash = lower.find_last_of('/');
  const std::string base = slash == std::string::npos ? lower : lower.substr(slash + 1);
  return base.find('.', 1) == std::string::npos ? TRenderOutput::Images : TRenderOutput::Other;
}

std::optional<std::vector<TRenderPoint>> ParseRenderPoints(const std::string &text) {
  std::vector<TRenderPoint> points;
  size_t from = 0;
  while (from <= text.size()) {
    // An entry ends at the comma after its closing bracket.
    int depth = 0;
    size_t end = from;
    for (; end < text.size() && !(text[end] == ',' && depth == 0); ++end) {
      if (text[end] == '(' || text[end] == '[')
        ++depth;
      else if ((text[end] == ')' || text[end] == ']') && depth > 0)
        --depth;
    }
    const std::string entry = Trim(text.substr(from, end - from));
    const size_t open = entry.find_last_of('(');
    if (entry.empty() || entry.back() != ')' || open == std::string::npos || open == 0)
      return std::nullopt;
    const std::optional<double> position =
        ToNumber(entry.substr(open + 1, entry.size() - open - 2));
    if (!position || *position < 0.0 || *position > 1.0)
      return std::nullopt;
    points.push_back({Trim(entry.substr(0, open)), *position});
    from = end + 1;
  }
  return points;
}

TRenderArguments ParseRenderArguments(const std::vector<std::string> &arguments) {
  TRenderRequest request;
  bool viewGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::optional<std::string> value;
    const size_t equals = option.find('=');
    if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    const auto reader = OptionReaders().find(option);
    if (reader == OptionReaders().end())
      return {std::nullopt, option.rfind("-", 0) == 0 ? "unknown option '" + option + "'"
                                                      : "unexpected argument '" + option + "'"};
    if (!value) {
      if (i + 1 >= arguments.size())
        return {std::nullopt, option + " needs a value"};
      value = arguments[++i];
    }
    if (std::string error = reader->second(request, *value); !error.empty())
      return {std::nullopt, error};
    viewGiven = viewGiven || option == "--view";
  }
  if (std::string error = CheckRequest(request, viewGiven); !error.empty())
    return {std::nullopt, error};
  return {request, {}};
}

std::string CommandLineHelp() {
  return "usage: dendrovia [FILE...]\n"
         "       dendrovia --render FILE.dat --view 1d|2d|3d|ft --out OUT [options]\n"
         "       dendrovia --help\n"
         "\n"
         "Without --render, opens the viewer; each FILE given is opened in a Control Window.\n"
         "\n"
         "--render draws one view of a data file without a display (no X server is needed)\n"
         "and writes it to OUT, with the settings the viewer reads (palette, scales, the\n"
         "views' options); the options below change them for this run only.\n"
         "\n"
         "  --view 1d|2d|3d|ft       the 1D graphic, the dendrogram, the 3D shape or F(t)\n"
         "  --out OUT                OUT.png or OUT.jpg: one picture; OUT.mp4: a movie\n"
         "                           (H.264, needs ffmpeg); a folder, or a name with a\n"
         "                           number field such as frame_%05d.png: numbered PNG images\n"
         "  --size WxH               the picture's size in pixels, up to 16384 each\n"
         "                           (default: the view window's size in the settings)\n"
         "  --at T                   the frame of a picture: the one nearest to time T\n"
         "                           (default: the first)\n"
         "  --from T1 --to T2        the frames of a movie or of images: every frame from\n"
         "                           T1 to T2 (default: all of them)\n"
         "  --fps N                  frames per second of a movie (25)\n"
         "  --palette FILE.ncm       the palette\n"
         "  --scale MIN,MAX          the variable scale (default: the data range)\n"
         "  --style wire|diameter    the 3D shape's style\n"
         "  --points \"SECTION(X),...\" the F(t) points, X from 0 (the section's start) to 1\n"
         "                           (its end); default: the soma's middle, soma(0.5)\n"
         "\n"
         "Progress goes to standard error. The exit status is 0 when OUT was written,\n"
         "1 when it could not be, 2 when the arguments make no sense.\n";
}
