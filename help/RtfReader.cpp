#include "help/RtfReader.h"

#include <algorithm>
#include <array>

namespace {

// Numbers beyond this are nonsense in any real document; clamping them keeps
// the arithmetic below free of overflow.
constexpr long long NumberLimit = 1 << 30;
constexpr char32_t ReplacementCharacter = 0xFFFD;

enum class TDestination { Text, FontTable, ColorTable, Skip };

// What a group saves and restores.
struct TState {
  TDestination Destination = TDestination::Text;
  bool Bold = false;
  int FontSize = 24;
  int Font = -1; // -1: the document's default font
  int Color = 0;
  int FirstIndent = 0;
  int UnicodeSkip = 1;
};

void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (IsDigit(c))
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::uint8_t ColorComponent(long long value) {
  return static_cast<std::uint8_t>(std::clamp<long long>(value, 0, 255));
}

// Destinations whose content is never text.
constexpr std::array<std::string_view, 11> SkippedDestinations = {
    "info",    "stylesheet", "pict",      "object",    "header",           "footer",
    "fldinst", "footnote",   "listtable", "generator", "listoverridetable"};

// Control words that stand for one character.
struct TSymbolWord {
  std::string_view Word;
  char32_t Character;
};
constexpr std::array<TSymbolWord, 9> SymbolWords = {{{"tab", U'\t'},
                                                     {"line", U'\n'},
                                                     {"ldblquote", 0x201C},
                                                     {"rdblquote", 0x201D},
                                                     {"lquote", 0x2018},
                                                     {"rquote", 0x2019},
                                                     {"emdash", 0x2014},
                                                     {"endash", 0x2013},
                                                     {"bullet", 0x2022}}};

class TRtfParser {
public:
  explicit TRtfParser(std::string_view rtf) : In(rtf) {}

  TRtfDocument Parse() {
    while (Pos < In.size()) {
      const char c = In[Pos++];
      if (c == '{') {
        Stack.push_back(Cur);
        PendingSkip = 0;
      } else if (c == '}') {
        EndGroup();
      } else if (c == '\\') {
        ControlSequence();
      } else if (c != '\r' && c != '\n') {
        Character(static_cast<unsigned char>(c));
      }
    }
    EndParagraphIfNotEmpty();
    return std::move(Doc);
  }

private:
  void EndGroup() {
    PendingSkip = 0;
    // A stray closing brace has no group to end; it is ignored.
    if (Stack.empty())
      return;
    if (Cur.Destination == TDestination::FontTable && !FontName.empty())
      StoreFont();
    Cur = Stack.back();
    Stack.pop_back();
  }

  void ControlSequence() {
    if (Pos >= In.size())
      return;
    const char c = In[Pos];
    if (!IsLetter(c)) {
      ++Pos;
      ControlSymbol(c);
      return;
    }
    const std::size_t start = Pos;
    while (Pos < In.size() && IsLetter(In[Pos]))
      ++Pos;
    const std::string_view word = In.substr(start, Pos - start);
    bool hasParameter = false;
    bool negative = false;
    long long parameter = 0;
    if (Pos < In.size() && In[Pos] == '-' && Pos + 1 < In.size() && IsDigit(In[Pos + 1])) {
      negative = true;
      ++Pos;
    }
    while (Pos < In.size() && IsDigit(In[Pos])) {
      hasParameter = true;
      parameter = std::min(parameter * 10 + (In[Pos] - '0'), NumberLimit);
      ++Pos;
    }
    if (Pos < In.size() && In[Pos] == ' ')
      ++Pos;
    if (ConsumeSkip())
      return;
    ControlWord(word, hasParameter, negative ? -parameter : parameter);
  }

  void ControlSymbol(char c) {
    if (c == '\'') {
      int value = 0;
      for (int i = 0; i < 2 && Pos < In.size() && HexValue(In[Pos]) >= 0; ++i)
        value = value * 16 + HexValue(In[Pos++]);
      Character(static_cast<unsigned char>(value));
      return;
    }
    if (ConsumeSkip())
      return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
      Character(static_cast<unsigned char>(c));
      break;
    case '~':
      Emit(0x00A0);
      break;
    case '_':
      Emit(0x2011);
      break;
    case '*':
      Cur.Destination = TDestination::Skip;
      break;
    case '\r':
    case '\n':
      EndParagraph();
      break;
    default: // the optional hyphen "\-" and unknown symbols show nothing
      break;
    }
  }

  void ControlWord(std::string_view word, bool hasParameter, long long parameter) {
    const int value = static_cast<int>(parameter);
    if (word == "fonttbl") {
      Cur.Destination = TDestination::FontTable;
    } else if (word == "colortbl") {
      Cur.Destination = TDestination::ColorTable;
      ColorSet = false;
      Color = {};
    } else if (std::find(SkippedDestinations.begin(), SkippedDestinations.end(), word) !=
               SkippedDestinations.end()) {
      Cur.Destination = TDestination::Skip;
    } else if (Cur.Destination == TDestination::FontTable) {
      if (word == "f")
        FontNumber = value;
    } else if (Cur.Destination == TDestination::ColorTable) {
      ColorWord(word, parameter);
    } else if (Cur.Destination == TDestination::Text) {
      TextWord(word, hasParameter, value);
    }
  }

  void ColorWord(std::string_view word, long long parameter) {
    if (word == "red")
      Color.Red = ColorComponent(parameter);
    else if (word == "green")
      Color.Green = ColorComponent(parameter);
    else if (word == "blue")
      Color.Blue = ColorComponent(parameter);
    else
      return;
    ColorSet = true;
  }

  void TextWord(std::string_view word, bool hasParameter, int value) {
    for (const TSymbolWord &symbol : SymbolWords) {
      if (word == symbol.Word) {
        Emit(symbol.Character);
        return;
      }
    }
    if (word == "par") {
      EndParagraph();
    } else if (word == "pard") {
      Cur.FirstIndent = 0;
    } else if (word == "fi") {
      Cur.FirstIndent = value;
    } else if (word == "plain") {
      Cur.Bold = false;
      Cur.FontSize = 24;
      Cur.Font = -1;
      Cur.Color = 0;
    } else if (word == "b") {
      Cur.Bold = !hasParameter || value != 0;
    } else if (word == "fs") {
      if (value > 0)
        Cur.FontSize = value;
    } else if (word == "f") {
      Cur.Font = value;
    } else if (word == "deff") {
      DefaultFont = value;
    } else if (word == "cf") {
      Cur.Color = value;
    } else if (word == "uc") {
      Cur.UnicodeSkip = std::max(value, 0);
    } else if (word == "u") {
      Unicode(value);
    }
  }

  // "\uN" gives a signed 16-bit UTF-16 unit; the fallback characters that
  // follow it are for readers without Unicode and are dropped.
  void Unicode(int value) {
    const int unit = value < 0 ? value + 0x10000 : value;
    const char32_t code =
        unit >= 0 && unit <= 0xFFFF ? static_cast<char32_t>(unit) : ReplacementCharacter;
    if (code >= 0xDC00 && code <= 0xDFFF && HighSurrogate != 0) {
      const char32_t combined = 0x10000 + ((HighSurrogate - 0xD800) << 10) + (code - 0xDC00);
      HighSurrogate = 0;
      Emit(combined);
    } else if (code >= 0xD800 && code <= 0xDBFF) {
      FlushSurrogate();
      HighSurrogate = code;
    } else {
      Emit(code >= 0xDC00 && code <= 0xDFFF ? ReplacementCharacter : code);
    }
    PendingSkip = Cur.UnicodeSkip;
  }

  bool ConsumeSkip() {
    if (PendingSkip == 0)
      return false;
    --PendingSkip;
    return true;
  }

  void Character(unsigned char c) {
    if (ConsumeSkip())
      return;
    switch (Cur.Destination) {
    case TDestination::Text:
      // Bytes above ASCII are taken as Latin-1: the guide is ASCII.
      Emit(c);
      break;
    case TDestination::FontTable:
      if (c == ';')
        StoreFont();
      else
        FontName += static_cast<char>(c);
      break;
    case TDestination::ColorTable:
      if (c == ';') {
        Doc.Colors.push_back(ColorSet ? std::optional<TRtfColor>(Color) : std::nullopt);
        ColorSet = false;
        Color = {};
      }
      break;
    case TDestination::Skip:
      break;
    }
  }

  void StoreFont() {
    const std::size_t first = FontName.find_first_not_of(' ');
    const std::size_t last = FontName.find_last_not_of(' ');
    Doc.Fonts[FontNumber] =
        first == std::string::npos ? std::string() : FontName.substr(first, last - first + 1);
    FontName.clear();
  }

  void FlushSurrogate() {
    if (HighSurrogate == 0)
      return;
    HighSurrogate = 0;
    Emit(ReplacementCharacter);
  }

  void Emit(char32_t c) {
    if (Cur.Destination != TDestination::Text)
      return;
    FlushSurrogate();
    TRtfRun format;
    format.Bold = Cur.Bold;
    format.FontSizeHalfPoints = Cur.FontSize;
    const int font = Cur.Font < 0 ? DefaultFont : Cur.Font;
    if (const auto it = Doc.Fonts.find(font); it != Doc.Fonts.end())
      format.FontName = it->second;
    if (Cur.Color > 0 && static_cast<std::size_t>(Cur.Color) < Doc.Colors.size())
      format.Color = Doc.Colors[Cur.Color];
    std::vector<TRtfRun> &runs = Para.Runs;
    if (runs.empty() || runs.back().Bold != format.Bold ||
        runs.back().FontSizeHalfPoints != format.FontSizeHalfPoints ||
        runs.back().FontName != format.FontName || runs.back().Color != format.Color)
      runs.push_back(std::move(format));
    AppendUtf8(runs.back().Text, c);
  }

  void EndParagraph() {
    FlushSurrogate();
    Para.FirstIndentTwips = Cur.FirstIndent;
    Doc.Paragraphs.push_back(std::move(Para));
    Para = {};
  }

  void EndParagraphIfNotEmpty() {
    FlushSurrogate();
    if (!Para.Runs.empty())
      EndParagraph();
  }

  std::string_view In;
  std::size_t Pos = 0;
  TState Cur;
  std::vector<TState> Stack;
  TRtfDocument Doc;
  TRtfParagraph Para;
  int DefaultFont = 0;
  int PendingSkip = 0;
  char32_t HighSurrogate = 0;
  int FontNumber = 0;
  std::string FontName;
  TRtfColor Color;
  bool ColorSet = false;
};

} // namespace

std::string TRtfParagraph::Text() const {
  std::string text;
  for (const TRtfRun &run : Runs)
    text += run.Text;
  return text;
}

std::string TRtfDocument::PlainText() const {
  std::string text;
  for (std::size_t i = 0; i < Paragraphs.size(); ++i) {
    if (i > 0)
      text += '\n';
    text += Paragraphs[i].Text();
  }
  return text;
}

TRtfDocument ParseRtf(std::string_view rtf) {
  return TRtfParser(rtf).Parse();
}
