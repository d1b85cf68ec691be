#include "help/RtfReader.h"
#include "help/ShowHelp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

const TRtfParagraph *FindParagraph(const TRtfDocument &doc, const std::string &start) {
  for (const TRtfParagraph &p : doc.Paragraphs) {
    if (p.Text().rfind(start, 0) == 0)
      return &p;
  }
  return nullptr;
}

bool HasBoldRun(const TRtfDocument &doc, const std::string &text) {
  for (const TRtfParagraph &p : doc.Paragraphs) {
    for (const TRtfRun &run : p.Runs) {
      if (run.Bold && run.Text == text)
        return true;
    }
  }
  return false;
}

bool IsValidUtf8(const std::string &s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
    if (extra < 0 || i + extra >= s.size())
      return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
        return false;
    }
    i += extra + 1;
  }
  return true;
}

} // namespace

TEST(RtfReader, HelpDocumentTablesAndParagraphFormat) {
  const TRtfDocument doc = ParseRtf(HelpDocumentRtf());
  ASSERT_EQ(doc.Fonts.count(0), 1u);
  EXPECT_EQ(doc.Fonts.at(0), "MS Sans Serif");
  ASSERT_EQ(doc.Colors.size(), 2u);
  EXPECT_FALSE(doc.Colors[0].has_value());
  EXPECT_EQ(doc.Colors[1], TRtfColor{});

  // The set-up ends with an empty paragraph; the guide closes with the Ctrl+F1 line.
  ASSERT_GT(doc.Paragraphs.size(), 40u);
  EXPECT_TRUE(doc.Paragraphs.front().Runs.empty());
  EXPECT_EQ(doc.Paragraphs.back().Text(), "Press Ctrl+F1 to get information about Dendrovia.");

  for (const TRtfParagraph &p : doc.Paragraphs) {
    EXPECT_EQ(p.FirstIndentTwips, 320) << p.Text();
    for (const TRtfRun &run : p.Runs) {
      EXPECT_EQ(run.FontSizeHalfPoints, 18) << run.Text;
      EXPECT_EQ(run.FontName, "MS Sans Serif");
      EXPECT_EQ(run.Color, TRtfColor{});
    }
  }
  const std::string text = doc.PlainText();
  EXPECT_EQ(text.find_first_of("\\{}"), std::string::npos) << "markup leaked into the text";
  EXPECT_TRUE(IsValidUtf8(text));
}

TEST(RtfReader, HelpDocumentItemsAreBoldFollowedByTheirExplanation) {
  const TRtfDocument doc = ParseRtf(HelpDocumentRtf());
  for (const char *item : {"Drive Browser",
                           "Directory Browser",
                           "File Browser",
                           "Data range",
                           "Variable scale",
                           "Time range",
                           "Time scale",
                           "1D",
                           "2D",
                           "3D",
                           "F(t)",
                           "Info",
                           "Frames delay (ms)",
                           "Skip frames",
                           "Start",
                           "Pause",
                           "Stop",
                           "Step forward",
                           "Step back",
                           "Load palette",
                           "Neuron items",
                           "Select point",
                           "Show / Hide points",
                           "Show axes",
                           "Axes size (um)",
                           "Shape style Diameter",
                           "Delete all points",
                           "Color"})
    EXPECT_TRUE(HasBoldRun(doc, item)) << item;

  const TRtfParagraph *skip = FindParagraph(doc, "Skip frames - ");
  ASSERT_NE(skip, nullptr);
  ASSERT_EQ(skip->Runs.size(), 2u);
  EXPECT_TRUE(skip->Runs[0].Bold);
  EXPECT_EQ(skip->Runs[0].Text, "Skip frames");
  EXPECT_FALSE(skip->Runs[1].Bold);
  EXPECT_EQ(skip->Runs[1].Text, " - the number of skipped frames;");
}

TEST(RtfReader, HelpDocumentSubListsArrowsAndQuotes) {
  const TRtfDocument doc = ParseRtf(HelpDocumentRtf());
  const TRtfParagraph *entry = FindParagraph(doc, "\tShow coordinates");
  ASSERT_NE(entry, nullptr);
  ASSERT_GE(entry->Runs.size(), 2u);
  EXPECT_EQ(entry->Runs[0].Text, "\t");
  EXPECT_FALSE(entry->Runs[0].Bold);
  EXPECT_EQ(entry->Runs[1].Text, "Show coordinates");
  EXPECT_TRUE(entry->Runs[1].Bold);

  // The "?" after each \u escape is the fallback for old readers and must vanish.
  EXPECT_NE(FindParagraph(doc, "\t← and → - move the image along X;"), nullptr);
  EXPECT_NE(FindParagraph(doc, "\t↓ and ↑ - move the image along Y;"), nullptr);
  EXPECT_NE(doc.PlainText().find("title is “Data Control - ” followed by the file name."),
            std::string::npos);
}

TEST(RtfReader, GroupsScopeFormattingAndEscapesAreLiteral) {
  const TRtfDocument doc = ParseRtf(
      R"({\rtf1{\fonttbl\f0\fswiss Arial;\f1\fmodern Courier New;}{\colortbl;\red255\green0\blue0;})"
      R"(\fs20 a{\b\f1\cf1 b}c\b d\b0 e\plain f\par)"
      R"(\fi-200 \\ \{x\} \'e9\par\pard g})");
  ASSERT_EQ(doc.Paragraphs.size(), 3u);
  const std::vector<TRtfRun> &runs = doc.Paragraphs[0].Runs;
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_EQ(runs[0].Text, "a");
  EXPECT_EQ(runs[0].FontName, "Arial");
  EXPECT_EQ(runs[0].FontSizeHalfPoints, 20);
  EXPECT_EQ(runs[1].Text, "b");
  EXPECT_TRUE(runs[1].Bold);
  EXPECT_EQ(runs[1].FontName, "Courier New");
  EXPECT_EQ(runs[1].Color, (TRtfColor{255, 0, 0}));
  EXPECT_EQ(runs[2].Text, "c"); // the group's bold, font and colour end with it
  EXPECT_FALSE(runs[2].Bold);
  EXPECT_FALSE(runs[2].Color.has_value());
  EXPECT_EQ(runs[3].Text, "d");
  EXPECT_TRUE(runs[3].Bold);
  EXPECT_EQ(runs[4].Text, "e");
  EXPECT_FALSE(runs[4].Bold);
  EXPECT_EQ(runs[4].FontSizeHalfPoints, 20);
  EXPECT_EQ(runs[5].Text, "f");
  EXPECT_EQ(runs[5].FontSizeHalfPoints, 24); // \plain restores the default size
  EXPECT_EQ(runs[5].FontName, "Arial");      // and the default font

  EXPECT_EQ(doc.Paragraphs[1].Text(), "\\ {x} é");
  EXPECT_EQ(doc.Paragraphs[1].FirstIndentTwips, -200);
  EXPECT_EQ(doc.Paragraphs[2].Text(), "g");
  EXPECT_EQ(doc.Paragraphs[2].FirstIndentTwips, 0);
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallbackCharacters) {
  EXPECT_EQ(ParseRtf(R"({\u8592?x})").PlainText(), "←x");
  EXPECT_EQ(ParseRtf(R"({\uc2\u8594??x\uc0\u8593 y})").PlainText(), "→x↑y");
  EXPECT_EQ(ParseRtf(R"({\u8595\'3fx})").PlainText(), "↓x");
  // UTF-16 surrogate pairs arrive as two negative escapes.
  EXPECT_EQ(ParseRtf(R"({\u-10179?\u-8704?})").PlainText(), "😀");
  EXPECT_EQ(ParseRtf(R"({\u-10179?x})").PlainText(), "\uFFFDx");
  // A group end stops the skipping.
  EXPECT_EQ(ParseRtf(R"({{\uc3\u8592?}xy})").PlainText(), "←xy");
}

TEST(RtfReader, UnknownControlWordsAndDestinationsAreSkipped) {
  const TRtfDocument doc = ParseRtf(
      R"({\rtf1\ansi\unknownword42 a{\*\generator Some Writer;}{\info{\title T}}{\*\mystery {x}y}b)"
      R"({\stylesheet{\s0 Normal;}}\ldblquote c\rdblquote\line d\emdash e\tab f})");
  EXPECT_EQ(doc.PlainText(), "ab“c”\nd—e\tf");
}

TEST(RtfReader, MalformedInputNeverCrashesAndYieldsValidText) {
  for (const std::string &input :
       {std::string(), std::string("}}}}a"), std::string("{{{{b"), std::string("\\"),
        std::string("{\\u"), std::string("{\\'"), std::string("{\\'4"), std::string("{\\fi-"),
        std::string("{\\fs99999999999999999999999 x\\f-99999999999999 y}"),
        std::string("{\\colortbl\\red99999999999;\\green-5;}{\\cf7 z\\cf-3 w}"),
        std::string("{\\fonttbl{\\f99999999999999 Name"), std::string("{\\u99999999999?q}"),
        std::string(100000, '{') + "deep", std::string("\\uc999999\\u65?abc"),
        std::string("\\u-99999?\\u-1?")}) {
    const TRtfDocument doc = ParseRtf(input);
    EXPECT_TRUE(IsValidUtf8(doc.PlainText())) << input.substr(0, 40);
  }
  EXPECT_EQ(ParseRtf("}}}}a").PlainText(), "a");
  EXPECT_EQ(ParseRtf(std::string(100000, '{') + "deep").PlainText(), "deep");

  std::mt19937 random(12345);
  const std::string alphabet = "{}\\\\\\abufs0123456789-?' \n\xE9";
  for (int round = 0; round < 2000; ++round) {
    std::string input(random() % 200, ' ');
    std::generate(input.begin(), input.end(), [&] { return alphabet[random() % alphabet.size()]; });
    EXPECT_TRUE(IsValidUtf8(ParseRtf(input).PlainText())) << input;
  }
}
