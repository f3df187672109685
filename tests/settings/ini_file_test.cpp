#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/setting_text.h"
#include "settings_test_support.h"

namespace vireon {
namespace {

using test::ReadText;
using test::WriteText;

TEST(IniFileTest, ParsesGroupsInFileOrder) {
  const IniReadResult result =
      ParseIniText("top=1\n[One]\na = x ; not a comment\n# a comment\n[Two]\nb=\n[one]\nc=3\n");
  EXPECT_EQ(result.status, IniStatus::kOk);
  EXPECT_EQ(result.errorLine, 0);
  ASSERT_EQ(result.document.sections.size(), 3u);
  EXPECT_EQ(result.document.sections[0].name, "");
  const IniSection* one = result.document.Find("ONE");
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(one->entries.size(), 2u);
  EXPECT_EQ(*one->Find("A"), "x ; not a comment");
  EXPECT_EQ(*one->Find("c"), "3");
  EXPECT_EQ(*result.document.Find("Two")->Find("b"), "");
  EXPECT_EQ(result.document.Find("Two")->Find("missing"), nullptr);
}

TEST(IniFileTest, TheLastOfTwoEqualNamesCounts) {
  const IniReadResult result = ParseIniText("[G]\nk=1\nK=2\n");
  EXPECT_EQ(*result.document.Find("G")->Find("k"), "2");
}

TEST(IniFileTest, LongLinesAreNeverSplit) {
  const std::string value(300000, 'v');
  const IniReadResult result = ParseIniText("[G]\nlong=" + value + "\nnext=1\n");
  EXPECT_EQ(result.errorLine, 0);
  EXPECT_EQ(*result.document.Find("G")->Find("long"), value);
  EXPECT_EQ(*result.document.Find("G")->Find("next"), "1");
}

TEST(IniFileTest, ReportsTheFirstBadLineAndItsGroup) {
  const IniReadResult result = ParseIniText("[A]\nx=1\n[B]\ny=2\nbroken\n[A]\nbad too\n");
  EXPECT_EQ(result.errorLine, 5);
  EXPECT_EQ(result.errorSection, "B");
  EXPECT_EQ(*result.document.Find("B")->Find("y"), "2");

  const IniReadResult header = ParseIniText("[A]\nx=1\n[B\ny=2\n");
  EXPECT_EQ(header.errorLine, 3);
  EXPECT_EQ(header.errorSection, "A");
}

TEST(IniFileTest, ANulByteEndsTheReading) {
  const std::string text("[A]\nx=1\ny=\0z\nw=3\n", 18);
  const IniReadResult result = ParseIniText(text);
  EXPECT_EQ(result.errorLine, 3);
  EXPECT_EQ(result.errorSection, "A");
  EXPECT_EQ(result.document.Find("A")->Find("w"), nullptr);
}

TEST(IniFileTest, WritesWhatItReads) {
  IniDocument document;
  document.Section("B").entries.push_back({"b key", "2"});
  document.Section("").entries.push_back({"top", "1"});
  document.Section("A").entries.push_back({"a", "x=y"});
  const std::string text = IniText(document);
  EXPECT_EQ(text, "top=1\n\n[B]\nb key=2\n\n[A]\na=x=y\n");
  const IniReadResult again = ParseIniText(text);
  EXPECT_EQ(*again.document.Find("")->Find("top"), "1");
  EXPECT_EQ(*again.document.Find("B")->Find("b key"), "2");
  EXPECT_EQ(*again.document.Find("A")->Find("a"), "x=y");
}

struct CodingCase {
  std::string value;
  std::string stored;
};

TEST(IniFileTest, QuotesOnlyWhatWouldNotReadBack) {
  const CodingCase cases[] = {
      {"plain text", "plain text"},
      {"", ""},
      {"a;b#c", "a;b#c"},
      {"say \"hi\"", "say \"hi\""},
      {" lead", "\" lead\""},
      {"trail\t", "\"trail\\t\""},
      {"\"q", "\"\\\"q\""},
      {"two\nlines", "\"two\\nlines\""},
      {"c:\\dir\r", "\"c:\\\\dir\\r\""},
      {"bell\x07", "\"bell\\x07\""},
  };
  for (const CodingCase& row : cases) {
    EXPECT_EQ(EncodeIniValue(row.value), row.stored);
    EXPECT_EQ(DecodeIniValue(row.stored), row.value);
  }
}

TEST(IniFileTest, BadQuotingIsRefused) {
  for (const char* stored :
       {"\"open", "\"", "\"a\\q\"", "\"a\\x4\"", "\"a\\x00\"", "\"a\"b\"", "\"end\\\""}) {
    EXPECT_EQ(DecodeIniValue(stored), std::nullopt) << stored;
  }
}

TEST(IniFileTest, RandomTextsSurviveAFile) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(1, 255);
  std::uniform_int_distribution<int> length(0, 40);
  for (int trial = 0; trial < 2000; ++trial) {
    std::string value;
    for (int i = length(random); i > 0; --i) value += static_cast<char>(byte(random));
    const IniReadResult read = ParseIniText("[G]\nk=" + EncodeIniValue(value) + "\n");
    ASSERT_EQ(read.errorLine, 0) << trial;
    const std::string* stored = read.document.Find("G")->Find("k");
    ASSERT_NE(stored, nullptr) << trial;
    EXPECT_EQ(DecodeIniValue(*stored), value) << trial;
  }
}

class IniWriteTest : public test::SettingsFolder {};

TEST_F(IniWriteTest, CreatesFoldersAndReplacesTheFileWhole) {
  const std::filesystem::path file = folder() / "a" / "b" / "settings.ini";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(file, "[G]\nk=1\n", reason)) << reason;
  EXPECT_EQ(ReadText(file), "[G]\nk=1\n");
  ASSERT_TRUE(WriteFileAtomically(file, "[G]\nk=2\n", reason)) << reason;
  EXPECT_EQ(ReadText(file), "[G]\nk=2\n");
  const IniReadResult read = ReadIniFile(file);
  EXPECT_EQ(read.status, IniStatus::kOk);
  EXPECT_EQ(*read.document.Find("G")->Find("k"), "2");
}

TEST_F(IniWriteTest, KeepsTheModeOfTheFileItReplaces) {
  const std::filesystem::path file = folder() / "settings.ini";
  WriteText(file, "old");
  std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(file, "new", reason)) << reason;
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

TEST_F(IniWriteTest, SaysWhyItCannotWrite) {
  WriteText(folder() / "plain", "a file");
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(folder() / "plain" / "x.ini", "text", reason));
  EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;
  EXPECT_FALSE(WriteFileAtomically("", "text", reason));
}

TEST_F(IniWriteTest, MissingAndUnreadableFilesAreTold) {
  EXPECT_EQ(ReadIniFile(folder() / "none.ini").status, IniStatus::kMissing);
  EXPECT_EQ(ReadIniFile(folder()).status, IniStatus::kUnreadable);
}

TEST(SettingTextTest, RealsAreWrittenAsPercentLg) {
  EXPECT_EQ(RealSettingText(1e-9), "1e-09");
  EXPECT_EQ(RealSettingText(0.001), "0.001");
  EXPECT_EQ(RealSettingText(1e-12), "1e-12");
  EXPECT_EQ(RealSettingText(10.0), "10");
  EXPECT_EQ(RealSettingText(0.0), "0");
  EXPECT_EQ(RealSettingText(123456789.0), "1.23457e+08");
  EXPECT_EQ(RealSettingText(0.1, 15), "0.1");
  EXPECT_EQ(IntegerSettingText(-32), "-32");
}

}  // namespace
}  // namespace vireon
