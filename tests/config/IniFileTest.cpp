#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config/IniFile.h"
#include "tests/worklog/TempDir.h"

namespace {

// Each test writes one file "<tmp>/t.ini" and opens a reader on it.
class IniFileTest : public ::testing::Test {
 protected:
  void Load(const std::string& bytes) {
    testutil::WriteFile(m_dir.Path() + "/t.ini", bytes);
    m_ini.SetPath(m_dir.Path());
    m_ini.SetFileName("t");
    ASSERT_NE(m_ini.Open(), 0);
  }
  // The text value of key in section "SysParam", or "<missing>".
  std::string Text(const std::string& key) {
    std::string value = "<missing>";
    m_ini.GetString("SysParam", key, value);
    return value;
  }
  // The integer value of key in section "SysParam", or -1 when missing.
  int32_t Number(const std::string& key) {
    int32_t value = -1;
    m_ini.GetInt("SysParam", key, &value);
    return value;
  }

  testutil::TempDir m_dir;
  CIniFile m_ini;
};

using IniKeyMatching = IniFileTest;

TEST_F(IniKeyMatching, KeyPartContainingTheKeyMatchesAndFirstMatchWins) {
  Load("[SysParam]\nvip=1\nip=2\nip=3\n");
  EXPECT_EQ(Text("ip"), "1");
  Load("[SysParam]\nskip=4\nip=2\n");
  EXPECT_EQ(Text("ip"), "4");
}

TEST_F(IniKeyMatching, SpacesAroundKeyAndValueAreAllowed) {
  Load("[SysParam]\n ip = 10.0.0.5 \n");
  EXPECT_EQ(Text("ip"), "10.0.0.5");
}

TEST_F(IniKeyMatching, CommentedAssignmentStillMatches) {
  Load("[SysParam]\n;ip=1.2.3.4\nip=5.6.7.8\n");
  EXPECT_EQ(Text("ip"), "1.2.3.4");
}

TEST_F(IniKeyMatching, KeysAreCaseSensitive) {
  Load("[SysParam]\nIP=1\nip=2\n");
  EXPECT_EQ(Text("ip"), "2");
  EXPECT_EQ(Text("Ip"), "<missing>");
}

TEST_F(IniKeyMatching, KeyIsSearchedOnlyBeforeTheFirstEquals) {
  // "usr=ip" holds "ip" only in its value.
  Load("[SysParam]\nusr=ip\nip=7\n");
  EXPECT_EQ(Text("ip"), "7");
}

using IniSkippedLines = IniFileTest;

TEST_F(IniSkippedLines, ValueContainingBracketIsNeverRead) {
  Load("[SysParam]\nip=[1.2.3.4]\nip=5.6.7.8\n");
  EXPECT_EQ(Text("ip"), "5.6.7.8");
  Load("[SysParam]\npwd=a[b\n");
  EXPECT_EQ(Text("pwd"), "<missing>");
}

TEST_F(IniSkippedLines, LineWithEmptyKeyPartIsSkipped) {
  // Were the whole line taken as key part, "=port=1" would match "port".
  Load("[SysParam]\n=port=1\n=5\nport=9\n");
  EXPECT_EQ(Number("port"), 9);
}

TEST_F(IniSkippedLines, LineWithoutEqualsAndEmptyLinesAreSkipped) {
  Load("[SysParam]\n\nport\n\nport=9\n");
  EXPECT_EQ(Number("port"), 9);
}

using IniSections = IniFileTest;

TEST_F(IniSections, SectionNeverEnds) {
  Load("[SysParam]\n[Other]\nport=9000\n");
  EXPECT_EQ(Number("port"), 9000);
}

TEST_F(IniSections, LinesBeforeTheSectionAreNeverSeen) {
  Load("port=9000\n[SysParam]\n");
  int32_t value = 42;
  EXPECT_EQ(m_ini.GetInt("SysParam", "port", &value), 0);
  EXPECT_EQ(value, 42);
}

TEST_F(IniSections, FirstLineContainingTheNameOpensTheSection) {
  Load(";SysParam settings\nport=1\n");
  EXPECT_EQ(Number("port"), 1);
  Load("SysParam\nport=2\n");
  EXPECT_EQ(Number("port"), 2);
  // The opening line itself is not searched for the key.
  Load("port=1 SysParam\nport=3\n");
  EXPECT_EQ(Number("port"), 3);
}

TEST_F(IniSections, SectionNamesAreCaseSensitive) {
  Load("[sysparam]\nport=1\n");
  EXPECT_EQ(Number("port"), -1);
  EXPECT_EQ(m_ini.FindSection("SysParam"), 0);
  EXPECT_EQ(m_ini.FindSection("sysparam"), 1);
}

using IniValues = IniFileTest;

TEST_F(IniValues, FurtherEqualsBelongToTheValue) {
  Load("[SysParam]\nkey=a=b\n");
  EXPECT_EQ(Text("key"), "a=b");
}

TEST_F(IniValues, OnlySpacesAreTrimmed) {
  Load("[SysParam]\ndelaytime=\t7 \nblank=   \n");
  EXPECT_EQ(Text("delaytime"), "\t7");
  EXPECT_EQ(Number("delaytime"), 7);
  EXPECT_EQ(Text("blank"), "");
}

TEST_F(IniValues, NumbersFollowAtoiRules) {
  Load("[SysParam]\nempty=\nneg=-1\nsuffix=5s\nword=abc\nplus=+12\n");
  int32_t value = -1;
  EXPECT_EQ(m_ini.GetInt("SysParam", "empty", &value), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Number("neg"), -1);
  EXPECT_EQ(Number("suffix"), 5);
  EXPECT_EQ(Number("word"), 0);
  EXPECT_EQ(Number("plus"), 12);
}

TEST_F(IniValues, OutOfRangeNumbersSaturate) {
  Load("[SysParam]\nbig=99999999999\nsmall=-99999999999\nmax=2147483647\nmin=-2147483648\n");
  EXPECT_EQ(Number("big"), INT32_MAX);
  EXPECT_EQ(Number("small"), INT32_MIN);
  EXPECT_EQ(Number("max"), INT32_MAX);
  EXPECT_EQ(Number("min"), INT32_MIN);
}

TEST_F(IniValues, OneStrayCarriageReturnIsRemovedAfterTrimming) {
  // CR LF ends the line; the second CR is a stray one inside the value.
  Load("[SysParam]\npwd=abc  \r\r\n");
  EXPECT_EQ(Text("pwd"), "abc  ");
  Load("[SysParam]\npwd=abc\r\r\r\n");
  EXPECT_EQ(Text("pwd"), "abc\r");
}

using IniLineEnds = IniFileTest;

TEST_F(IniLineEnds, CrLfLinesReadLikeLfLines) {
  Load("[SysParam]\r\nip=1.2.3.4\r\nusr=bob  \r\nport=8000\r\n");
  EXPECT_EQ(Text("ip"), "1.2.3.4");
  EXPECT_EQ(Text("usr"), "bob");  // spaces before the CR LF are trimmed
  EXPECT_EQ(Number("port"), 8000);
}

TEST_F(IniLineEnds, LastLineNeedsNoLineFeed) {
  Load("[SysParam]\nport=77");
  EXPECT_EQ(Number("port"), 77);
  // A CR there is not a line end; the text value loses it all the same.
  Load("[SysParam]\npwd=abc \r");
  EXPECT_EQ(Text("pwd"), "abc ");
}

TEST_F(IniLineEnds, VeryLongLineIsReadWhole) {
  const std::string longValue(1 << 20, 'x');
  Load("[SysParam]\npwd=" + longValue + "\nip=9.9.9.9\n");
  EXPECT_EQ(Text("pwd"), longValue);
  EXPECT_EQ(Text("ip"), "9.9.9.9");
}

using IniLifecycle = IniFileTest;

TEST_F(IniLifecycle, EveryLookupRereadsFromTheTop) {
  Load("[SysParam]\na=1\nb=2\n");
  EXPECT_EQ(Number("b"), 2);
  EXPECT_EQ(Number("a"), 1);
  EXPECT_EQ(Number("b"), 2);
  EXPECT_EQ(Number("missing"), -1);
  EXPECT_EQ(Number("a"), 1);  // a lookup that hit end of file does not stick
}

TEST_F(IniLifecycle, LookupsAfterCloseReturnZero) {
  Load("[SysParam]\nport=9\n");
  m_ini.Close();
  std::string text = "kept";
  int32_t number = 42;
  EXPECT_EQ(m_ini.GetString("SysParam", "port", text), 0);
  EXPECT_EQ(m_ini.GetInt("SysParam", "port", &number), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(number, 42);
  m_ini.Close();  // closing twice is harmless
}

TEST(IniFile, LookupsAfterFailedOpenReturnZero) {
  testutil::TempDir dir;
  CIniFile ini;
  std::string text = "kept";
  EXPECT_EQ(ini.GetString("SysParam", "port", text), 0);  // never opened
  ini.SetPath(dir.Path());
  ini.SetFileName("absent");
  EXPECT_EQ(ini.Open(), 0);
  int32_t number = 42;
  EXPECT_EQ(ini.GetString("SysParam", "port", text), 0);
  EXPECT_EQ(ini.GetInt("SysParam", "port", &number), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(number, 42);
}

TEST(IniFile, PathAndExtensionAreAppendedUnconditionally) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.Path() + "/t.ini", "[SysParam]\nport=1\n");
  testutil::WriteFile(dir.Path() + "/t.ini.ini", "[SysParam]\nport=2\n");
  CIniFile ini;
  ini.SetPath(dir.Path() + "/");  // "<dir>//": still the same directory
  ini.SetFileName("t.ini");       // "t.ini.ini"
  ASSERT_NE(ini.Open(), 0);
  int32_t port = -1;
  EXPECT_EQ(ini.GetInt("SysParam", "port", &port), 1);
  EXPECT_EQ(port, 2);
}

TEST(TrimSpaces, RemovesOnlyLeadingAndTrailingSpaces) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimSpaces("    "), "");
  EXPECT_EQ(TrimSpaces(""), "");
}

}  // namespace
