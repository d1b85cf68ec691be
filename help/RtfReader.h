#pragma once

// A small reader for the subset of Rich Text Format that the help guide uses:
// groups, bold, tabs, paragraphs, first-line indent, font size, Unicode escapes
// with fallback characters, typographic quotes and dashes, the font and colour
// tables. Everything else is skipped, so foreign RTF degrades to plain text.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TRtfColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;

  bool operator==(const TRtfColor &) const = default;
};

// One stretch of text with the same character formatting.
struct TRtfRun {
  std::string Text; // UTF-8; a tab is '\t', a line break '\n'
  bool Bold = false;
  int FontSizeHalfPoints = 24;    // RTF's default of 12 points
  std::string FontName;           // empty when the font table does not name \fN
  std::optional<TRtfColor> Color; // empty for the automatic colour
};

struct TRtfParagraph {
  int FirstIndentTwips = 0;
  std::vector<TRtfRun> Runs;

  std::string Text() const;
};

struct TRtfDocument {
  std::vector<TRtfParagraph> Paragraphs;
  std::map<int, std::string> Fonts;             // font table: family name by font number
  std::vector<std::optional<TRtfColor>> Colors; // colour table; empty entry = automatic

  // The paragraphs' text joined with '\n'.
  std::string PlainText() const;
};

// Parses RTF bytes. Never fails: malformed input (unbalanced braces, truncated
// control words, absurd numbers) yields whatever text could be recovered.
TRtfDocument ParseRtf(std::string_view rtf);
