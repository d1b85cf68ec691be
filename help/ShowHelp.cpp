#include "help/ShowHelp.h"

#include "help/RtfReader.h"
#include "help/RtfTextDocument.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"

#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <string_view>

namespace {

// The guide: header, colour table, paragraph set-up, the paragraphs, the closing brace.
constexpr std::string_view HelpFragments[] = {
    R"({\rtf1\ansi\ansicpg1251\deff0\deflang1049\deflangfe1049{\fonttbl{\f0\froman\fprq2\fcharset0 MS Sans Serif;}})",
    R"({\colortbl ;\red0\green0\blue0;})",
    "\\viewkind4\\uc1\\pard\\nowidctlpar\\fi320\\cf1\\lang1033\\f0\\fs18\\par\n",
    // Main window
    "\\b Main window\\b0  - choose a directory that holds simulation result files.\\par\n",
    "\\b Drive Browser\\b0  - a drive is chosen by typing its letter or from the drop-down "
    "list.\\par\n",
    "\\b Directory Browser\\b0  - choose a directory; the context menu offers the "
    "\\b Directory Layout\\b0 :\\par\n",
    "\\tab\\b Directory List\\b0  - only the path from the root to the current directory is "
    "shown;\\par\n",
    "\\tab\\b Directory Outline\\b0  - all subdirectories of expanded directories are "
    "shown.\\par\n",
    "\\b File Browser\\b0  - lists the simulation result files of the directory with:\\par\n",
    "\\tab\\b Description\\b0  - a short description of the file;\\par\n",
    "\\tab\\b Filename\\b0  - the name of the result file;\\par\n",
    "\\tab\\b Last modified\\b0  - the date when the file was created.\\par\n",
    "\\par\n",
    // Opening a file
    "\\b Opening a file\\b0  - select it in the File Browser and press Enter or double-click "
    "it; a Control Window opens whose title is \\ldblquote Data Control - \\rdblquote  followed "
    "by the file name.\\par\n",
    "\\par\n",
    // Control Window
    "\\b Control Window\\b0  - controls the viewing of one result file:\\par\n",
    "\\b Data range\\b0  - unit and range of measurement;\\par\n",
    "\\b Variable scale\\b0  - range of measurement used for color mapping;\\par\n",
    "\\b Time range\\b0  - unit and range of simulation time;\\par\n",
    "\\b Time scale\\b0  - range of simulation time selected for viewing; the middle field holds "
    "the current simulation time;\\par\n",
    "\\b 1D\\b0 , \\b 2D\\b0 , \\b 3D\\b0 , \\b F(t)\\b0  - each opens the graphic window of that "
    "name;\\par\n",
    "\\b Info\\b0  - opens a window with information about the model;\\par\n",
    "\\b Frames delay (ms)\\b0  - input field; with the \\b Frames delay\\b0  track bar, two "
    "ways to set the delay between consecutive frames;\\par\n",
    "\\b Skip frames\\b0  - the number of skipped frames;\\par\n",
    "\\b Start\\b0 , \\b Pause\\b0 , \\b Stop\\b0 , \\b Step forward\\b0 , \\b Step back\\b0  - "
    "the buttons that control the viewing of frames;\\par\n",
    "\\b Load palette\\b0  - choose and load a palette for color mapping;\\par\n",
    "\\b Neuron items\\b0  - soma, axon, dendrites; the checked items are used by the 1D, 2D, 3D "
    "and F(t) graphics.\\par\n",
    "\\par\n",
    // 2D graphic
    "\\b 2D graphic\\b0  - the dendrogram; its context menu offers:\\par\n",
    "\\b Select point\\b0  - how a left click on the dendrogram, that is on a segment, is "
    "interpreted:\\par\n",
    "\\tab\\b Show coordinates\\b0  - as section name(segment index);\\par\n",
    "\\tab\\b Add to F(t)\\b0  - adds the segment to the points of the F(t) graphic;\\par\n",
    "\\tab\\b Show distance from the root (left)\\b0  - for the left end of the selected "
    "segment;\\par\n",
    "\\tab\\b Show distance from the root (right)\\b0  - for the right end of the selected "
    "segment;\\par\n",
    "\\tab\\b Show diameter\\b0  - at both ends of the selected segment;\\par\n",
    "\\tab\\b Show value of variable\\b0  - for the selected segment;\\par\n",
    "\\b Show / Hide points\\b0  - marks the points chosen for the F(t) graphic, or hides the "
    "marks;\\par\n",
    "\\b Show palette\\b0  - the palette's bottom left corner is placed at the mouse click "
    "point;\\par\n",
    "\\b Hide palette\\b0  - removes the palette.\\par\n",
    "\\par\n",
    // 3D graphic
    "\\b 3D graphic\\b0  - the morphology of the neuron; its context menu offers:\\par\n",
    "\\b Show axes\\b0  - X red, Y green, Z blue, with the origin at the mouse click "
    "point;\\par\n",
    "\\b Hide axes\\b0  - removes the axes;\\par\n",
    "\\b Axes size (pixel)\\b0  - the length of the axes in pixels;\\par\n",
    "\\b Axes size (um)\\b0  - the length of the axes in micrometres;\\par\n",
    "\\b Show palette\\b0  - as in the 2D graphic;\\par\n",
    "\\b Hide palette\\b0  - removes the palette;\\par\n",
    "\\b Shape style Wire\\b0  - segment end diameters are ignored;\\par\n",
    "\\b Shape style Diameter\\b0  - diameters are taken into account.\\par\n",
    "\\b Keys of the 3D graphic\\b0  - move, zoom and rotate the image:\\par\n",
    "\\tab\\b \\u8592?\\b0  and \\b \\u8594?\\b0  - move the image along X;\\par\n",
    "\\tab\\b \\u8595?\\b0  and \\b \\u8593?\\b0  - move the image along Y;\\par\n",
    "\\tab\\b +\\b0  and \\b -\\b0  of the numeric keypad - zoom;\\par\n",
    "\\tab\\b Left mouse button\\b0  - dragging rotates;\\par\n",
    "\\tab\\b X\\b0 , \\b Y\\b0 , \\b Z\\b0  - rotate about that axis;\\par\n",
    "\\tab\\b Ctrl+X\\b0 , \\b Ctrl+Y\\b0 , \\b Ctrl+Z\\b0  - rotate counter-clockwise;\\par\n",
    "\\tab\\b Shift\\b0  - held down, makes moving, zooming and rotating smoother;\\par\n",
    "\\tab\\b Double click\\b0  - cancels all transformations.\\par\n",
    "\\par\n",
    // F(t) graphic
    "\\b F(t) graphic\\b0  - the variable over time; its context menu offers:\\par\n",
    "\\b Delete all points\\b0  - removes every point;\\par\n",
    "\\b List of points\\b0  - the points as section name(segment index), each with:\\par\n",
    "\\tab\\b Color\\b0  - the color of its line;\\par\n",
    "\\tab\\b Delete\\b0  - removes the point.\\par\n",
    "\\par\n",
    "Press Ctrl+F1 to get information about Dendrovia.\\par\n",
    "}",
};

} // namespace

std::string HelpDocumentRtf() {
  std::string document;
  for (std::string_view fragment : HelpFragments)
    document += fragment;
  return document;
}

TShowHelpForm::TShowHelpForm(QWidget *parent) : QDialog(parent) {
  setObjectName("ShowHelpForm");
  setWindowTitle(SettingsText(TOptions::Instance().WindowHelp.Title));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  RichEdit = new QTextEdit(this);
  RichEdit->setObjectName("RichEdit");
  RichEdit->setReadOnly(true);
  RichEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  RichEdit->setLineWrapMode(QTextEdit::NoWrap);
  RichEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit->setTabChangesFocus(false);
  // Filled apart and then handed over, so the box starts at the top of the guide.
  auto *document = new QTextDocument(RichEdit);
  FillTextDocument(*document, ParseRtf(HelpDocumentRtf()));
  RichEdit->setDocument(document);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(RichEdit);
}

TShowHelpForm::~TShowHelpForm() {
  FormDestroy();
}

void TShowHelpForm::setVisible(bool visible) {
  if (visible && !isVisible())
    FormShow();
  QDialog::setVisible(visible);
}

void TShowHelpForm::FormShow() {
  const TWindowSettings &bounds = TOptions::Instance().WindowHelp;
  move(bounds.Left, bounds.Top);
  resize(bounds.Width, bounds.Height);
  WasShown = true;
}

void TShowHelpForm::FormDestroy() {
  if (!WasShown)
    return;
  TWindowSettings &bounds = TOptions::Instance().WindowHelp;
  bounds.Left = x();
  bounds.Top = y();
  bounds.Width = width();
  bounds.Height = height();
}
