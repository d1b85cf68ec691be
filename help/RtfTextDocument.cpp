#include "help/RtfTextDocument.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

namespace {

// Layout pixels are 1/96 inch; a twip is 1/1440 inch.
constexpr double TwipsPerPixel = 1440.0 / 96.0;
// RTF's default tab stop interval.
constexpr double DefaultTabTwips = 720.0;

QTextCharFormat CharFormat(const TRtfRun &run) {
  QTextCharFormat format;
  format.setFontWeight(run.Bold ? QFont::Bold : QFont::Normal);
  format.setFontPointSize(run.FontSizeHalfPoints / 2.0);
  if (!run.FontName.empty())
    format.setFontFamilies({QString::fromStdString(run.FontName)});
  if (run.Color)
    format.setForeground(QColor(run.Color->Red, run.Color->Green, run.Color->Blue));
  return format;
}

} // namespace

void FillTextDocument(QTextDocument &target, const TRtfDocument &rtf) {
  target.clear();
  QTextOption option = target.defaultTextOption();
  option.setTabStopDistance(DefaultTabTwips / TwipsPerPixel);
  target.setDefaultTextOption(option);
  QTextCursor cursor(&target);
  QTextCharFormat lastFormat;
  bool first = true;
  for (const TRtfParagraph &paragraph : rtf.Paragraphs) {
    QTextBlockFormat blockFormat;
    blockFormat.setTextIndent(paragraph.FirstIndentTwips / TwipsPerPixel);
    if (first)
      cursor.setBlockFormat(blockFormat);
    else
      cursor.insertBlock(blockFormat);
    first = false;
    // An empty paragraph takes the height of the text before it.
    cursor.setBlockCharFormat(paragraph.Runs.empty() ? lastFormat
                                                     : CharFormat(paragraph.Runs.front()));
    for (const TRtfRun &run : paragraph.Runs) {
      lastFormat = CharFormat(run);
      cursor.insertText(QString::fromStdString(run.Text), lastFormat);
    }
  }
}
