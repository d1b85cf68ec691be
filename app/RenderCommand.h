#pragma once

#include <optional>
#include <string>
#include <vector>

// What `dendrovia --render` is asked to do, read from its arguments alone: no
// file is looked at here (see THeadlessRender for that).

enum class TRenderView { Graph1D, Graph2D, Graph3D, Ft };

// What the output's name asks for: one picture (.png, .jpg, .jpeg), a movie
// (.mp4), numbered PNG images (a name ending in "/", without an extension or
// with a "%" number field), or a name with another extension, which is a
// folder of images only if one of that name exists.
enum class TRenderOutput { Picture, Movie, Images, Other };

// An F(t) point as NEURON writes it: a section's name and the position along
// it, 0 at its start and 1 at its end.
struct TRenderPoint {
  std::string Section;
  double Position = 0.5;
};

struct TRenderRequest {
  std::string DataFile;
  TRenderView View = TRenderView::Graph3D;
  std::string Output;
  TRenderOutput OutputKind = TRenderOutput::Picture;
  // The picture's size in pixels; none: the view window's size in the
  // settings.
  std::optional<int> Width;
  std::optional<int> Height;
  // The frame of a picture; none: the first frame.
  std::optional<double> At;
  // The frames of a movie or of images; none: from the first, to the last.
  std::optional<double> From;
  std::optional<double> To;
  int FramesPerSecond = 25;
  std::optional<std::string> Palette;
  std::optional<double> ScaleMin;
  std::optional<double> ScaleMax;
  // 0 wire, 1 diameter, as the 3D settings keep it.
  std::optional<int> ShapeStyle;
  // None: the soma's middle.
  std::optional<std::vector<TRenderPoint>> Points;
};

// The largest width and height of a picture.
constexpr int MaxRenderSize = 16384;

// A request, or why the arguments make none.
struct TRenderArguments {
  std::optional<TRenderRequest> Request;
  std::string Error;
};

// Whether the arguments (without the program's name) ask for a rendering.
bool IsRenderCommand(const std::vector<std::string> &arguments);
// Whether they ask for the help text.
bool IsHelpCommand(const std::vector<std::string> &arguments);

// Reads "--render FILE --view V --out OUT [options]" (each option also as
// "--option=value"), in any order.
TRenderArguments ParseRenderArguments(const std::vector<std::string> &arguments);

// Reads "SECTION(X), SECTION(X), ..."; commas inside a name's brackets belong
// to the name. Nothing when an entry is not of that form or X lies outside
// 0..1.
std::optional<std::vector<TRenderPoint>> ParseRenderPoints(const std::string &text);

// The kind of output a name asks for.
TRenderOutput RenderOutputKind(const std::string &name);

// The text of `dendrovia --help`.
std::string CommandLineHelp();
