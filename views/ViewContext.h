#pragma once

#include "views/SelectedPointInfo.h"

#include <string>

class TDataToColor;
class TNeuronDataFile;

// What a graphic window needs from the window that opens it (the Control Window
// of one open file). The opener implements it and outlives its views: it stops
// and destroys them before the data, the palette or the point list go.
class TViewContext {
public:
  virtual ~TViewContext() = default;

  // The open data; which items are shown is its ItemChecked flags.
  virtual const TNeuronDataFile &GetViewData() const = 0;
  // The palette that colours the data's frames.
  virtual const TDataToColor &GetViewPalette() const = 0;

  // The texts of the variable and time scale boxes; each view reads them as
  // numbers itself, so that a text that is not a number keeps its old value.
  virtual std::string GetVariableMinText() const = 0;
  virtual std::string GetVariableMaxText() const = 0;
  virtual std::string GetTimeMinText() const = 0;
  virtual std::string GetTimeMaxText() const = 0;

  // The F(t) points; the 2D and F(t) windows share the list without owning it.
  virtual TSelectedPointList &GetFtPoints() = 0;
  // Appends a point given by its code ("item, section, segment") and name to
  // the F(t) points and tells the F(t) and 2D windows; a code that does not read says
  // why in a message box and adds nothing.
  virtual void AddSelectedPoint(const std::string &code, const std::string &name) = 0;
  // The F(t) window deleted points or changed their colours: the windows that
  // mark them draw again. Nothing by default (an opener without such windows).
  virtual void SelectedPointsChanged() {}

  // F1 (about = false: the help window) and Ctrl+F1 (about = true: the about
  // window), pressed in a view; shown modally.
  virtual void ShowHelpWindow(bool about) = 0;
};
