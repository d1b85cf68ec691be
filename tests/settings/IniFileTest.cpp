#include "settings/IniFile.h"
#include "settings/TextEncoding.h"

#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

namespace {

int32_t Parsed(const std::string &text) {
  int32_t value = 12345;
  EXPECT_TRUE(TryParseProfileInteger(text, value)) << '"' << text << '"';
  return value;
}

TEST(TryParseProfileInteger, DecimalAndBothHexPrefixes) {
  EXPECT_EQ(Parsed("42"), 42);
  EXPECT_EQ(Parsed("-7"), -7);
  EXPECT_EQ(Parsed("+7"), 7);
  EXPECT_EQ(Parsed("007"), 7);
  EXPECT_EQ(Parsed("$1F"), 31);
  EXPECT_EQ(Parsed("0x1f"), 31);
  EXPECT_EQ(Parsed("0X1F"), 31);
  EXPECT_EQ(Parsed("$FFFFFFFF"), -1);
  EXPECT_EQ(Parsed("2147483647"), INT32_MAX);
  EXPECT_EQ(Parsed("-2147483648"), INT32_MIN);
}

TEST(TryParseProfileInteger, AnythingElseIsNotAnInteger) {
  for (const char *text :
       {"", "-", "+", "$", "0x", "abc", "12a", "1.5", " 1", "1 ", "2147483648", "-2147483649",
        "$100000000", "0x1G", "-$1", "--1", "99999999999999999999"}) {
    int32_t value = 12345;
    EXPECT_FALSE(TryParseProfileInteger(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 12345);
  }
}

TEST(TextEncoding, Utf8ValidityAndUtf16RoundTrip) {
  const struct {
    std::string Text;
    bool Valid;
  } utf8[] = {
      {"plain", true},         {"\xC3\xA9", true},          {"\xF0\x9F\x99\x82", true},
      {"\xC3", false},         {"\xC0\xAF", false},         {"\xED\xA0\x80", false},
      {"\xCE\xEF\xE8", false}, {"\xF4\x90\x80\x80", false},
  };
  for (const auto &c : utf8)
    EXPECT_EQ(IsValidUtf8(c.Text), c.Valid) << c.Text;
  for (const bool bigEndian : {false, true}) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x99\x82";
    EXPECT_EQ(DecodeUtf16(EncodeUtf16(text, bigEndian), bigEndian), text);
    EXPECT_EQ(EncodeUtf16("\xE9", bigEndian), std::string(bigEndian ? "\0\xE9" : "\xE9\0", 2));
  }
  for (const std::string &bad : {std::string("a"), std::string("\x00\xDC", 2),
                                 std::string("\x00\xD8\x41\x00", 4), std::string("\x00\xD8", 2)})
    EXPECT_EQ(DecodeUtf16(bad, false), std::nullopt);
}

TEST(TIniFile, MalformedUtf16AndNulBytesAreUnreadable) {
  TTempDir dir;
  const std::string path = dir.File("a.ini");
  for (const std::string &bytes :
       {std::string("\xFF\xFE[\0S\0]\0\n", 9), std::string("\xFF\xFE\x00\xDC", 4),
        std::string("[S]\nk=1\0\n", 9), std::string("\xFE\xFF\0[\0\0", 6)}) {
    WriteText(path, bytes);
    TIniFile ini;
    EXPECT_FALSE(ini.Load(path));
    EXPECT_EQ(ini.Value("S", "k"), std::nullopt);
  }
}

TEST(TIniFile, ReadsValuesAsProfileFunctionsReturnThem) {
  TTempDir dir;
  const std::string path = dir.File("a.ini");
  const std::string utf8Tail = "\xC3\xA9"; // two bytes straddling the cut
  WriteText(path, "[Main]\n"
                  "Plain =  value with blanks   \n"
                  "Quoted=\"  padded  \"\n"
                  "Twice=\"\"inner\"\"\n"
                  "Half=\"open\n"
                  "Empty=\n"
                  "Dup=first\n"
                  "dup=second\n"
                  "Long=" +
                      std::string(3000, 'x') +
                      "\n"
                      "Exact=" +
                      std::string(2047, 'y') +
                      "\n"
                      "Utf8=" +
                      std::string(2046, 'z') + utf8Tail +
                      "\n"
                      "Number= $10 \n"
                      "[other]\n"
                      "KEY=case\n");
  TIniFile ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.Value("Main", "Plain"), "value with blanks");
  EXPECT_EQ(ini.Value("MAIN", "plain"), "value with blanks");
  EXPECT_EQ(ini.Value("Main", "Quoted"), "  padded  ");
  EXPECT_EQ(ini.Value("Main", "Twice"), "\"inner\"");
  EXPECT_EQ(ini.Value("Main", "Half"), "\"open");
  EXPECT_EQ(ini.Value("Main", "Empty"), "");
  EXPECT_EQ(ini.Value("Main", "Dup"), "first");
  EXPECT_EQ(ini.Value("Main", "Long"), std::string(2047, 'x'));
  EXPECT_EQ(ini.Value("Main", "Exact"), std::string(2047, 'y'));
  EXPECT_EQ(ini.Value("Main", "Utf8"), std::string(2046, 'z'));
  EXPECT_EQ(ini.Integer("Main", "Number"), 16);
  EXPECT_EQ(ini.Integer("Main", "Plain"), std::nullopt);
  EXPECT_EQ(ini.Value("Other", "key"), "case");
  EXPECT_EQ(ini.Value("Main", "Missing"), std::nullopt);
  EXPECT_EQ(ini.Value("Missing", "Plain"), std::nullopt);

  TIniFile missing;
  EXPECT_FALSE(missing.Load(dir.File("none.ini")));
  EXPECT_EQ(missing.Value("Main", "Plain"), std::nullopt);
}

TEST(TIniFile, SavingUpdatesInPlaceAndKeepsEverythingElse) {
  TTempDir dir;
  const std::string path = dir.File("a.ini");
  WriteText(path, "\xEF\xBB\xBF; file comment\n"
                  "\n"
                  "; about the first section\n"
                  "[First]\n"
                  "; about A\n"
                  "a=1\n"
                  "Unknown=keep me\n"
                  "b=2\n"
                  "b=duplicate\n"
                  "[Second]\n"
                  "x=9\n"
                  "; commented out at the end\n"
                  ";Old=1\n");
  TIniFile ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_TRUE(ini.SetValue("first", "A", "10"));
  ini.SetInteger("First", "New", -5);
  ini.SetInteger("Third", "z", 3);
  ASSERT_TRUE(ini.Save(path));

  const std::string text = ReadText(path);
  EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF; file comment\n")) << text;
  for (const char *kept :
       {"; about the first section\n[First]\n", "; about A\n", "Unknown=keep me\n", "b=2\n",
        "[Second]\nx=9\n", "; commented out at the end\n;Old=1\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing in:\n" << text;
  // In place, as the file spells it: the updated key stays before the keys that
  // followed it.
  EXPECT_LT(text.find("a=10\n"), text.find("Unknown=keep me"));
  EXPECT_EQ(text.find("a=1\n"), std::string::npos);
  // Appended to its own section, not to the end of the file.
  EXPECT_LT(text.find("New=-5\n"), text.find("[Second]"));
  EXPECT_GT(text.find("New=-5\n"), text.find("b=2"));
  EXPECT_NE(text.find("[Third]\nz=3\n"), std::string::npos);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.ini"});

  TIniFile again;
  ASSERT_TRUE(again.Load(path));
  EXPECT_EQ(again.Value("First", "a"), "10");
  EXPECT_EQ(again.Value("First", "b"), "2");
}

TEST(TIniFile, StoredValuesReadBackUnchanged) {
  TTempDir dir;
  const std::string path = dir.File("a.ini");
  WriteText(path, "[S]\nLine=old\n");
  TIniFile ini;
  ASSERT_TRUE(ini.Load(path));
  const std::vector<std::string> values = {" leading", "trailing ", "\"quoted\"", "",
                                           "a=b;c",    "\"",        "tab\t"};
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_TRUE(ini.SetValue("S", "V" + std::to_string(i), values[i]));
  // A line break would inject lines into the file; the key keeps its old value.
  EXPECT_FALSE(ini.SetValue("S", "Line", "new\n[Evil]\nx=1"));
  EXPECT_FALSE(ini.SetValue("S", "Line", "new\r"));
  ASSERT_TRUE(ini.Save(path));

  TIniFile again;
  ASSERT_TRUE(again.Load(path));
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(again.Value("S", "V" + std::to_string(i)), values[i]);
  EXPECT_EQ(again.Value("S", "Line"), "old");
  EXPECT_EQ(again.Value("Evil", "x"), std::nullopt);
}

TEST(TIniFile, SaveReplacesTheTargetOfASymbolicLink) {
  TTempDir dir;
  std::filesystem::create_directory(dir.Path() / "real");
  const std::string target = dir.File("real/a.ini");
  const std::string link = dir.File("a.ini");
  WriteText(target, "[S]\nk=1\n");
  std::filesystem::create_symlink(target, link);
  ::chmod(target.c_str(), 0640);

  TIniFile ini;
  ASSERT_TRUE(ini.Load(link));
  ini.SetInteger("S", "k", 2);
  ASSERT_TRUE(ini.Save(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(target), "[S]\nk=2\n");
  EXPECT_EQ(FileMode(target), 0640u);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.ini", "real"}));

  EXPECT_FALSE(ini.Save(dir.File("missing.ini")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.ini")));
  EXPECT_FALSE(ini.Save(dir.Path().string()));
}

} // namespace
