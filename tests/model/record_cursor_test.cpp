#include "model/record_cursor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "model/messages.h"
#include "support/files.h"

namespace vireon {
namespace {

using detail::FieldKind;
using detail::FormatMatches;

// Formats are checked against their destinations when the program compiles.
static_assert(FormatMatches("Points=%d", {FieldKind::kInt}));
static_assert(FormatMatches("Subs%*d=%d", {FieldKind::kInt}));
static_assert(FormatMatches("Type=%hd", {FieldKind::kShort}));
static_assert(FormatMatches("Node=%d,%d", {FieldKind::kInt, FieldKind::kInt}));
static_assert(FormatMatches(" %f ", {FieldKind::kFloat}));
static_assert(FormatMatches("Value=%le", {FieldKind::kDouble}));
static_assert(FormatMatches("100%% of %lg", {FieldKind::kDouble}));
static_assert(!FormatMatches("Value=%le", {FieldKind::kFloat}));
static_assert(!FormatMatches("Points=%d", {FieldKind::kShort}));
static_assert(!FormatMatches("Points=%d", {}));
static_assert(!FormatMatches("Node=%d", {FieldKind::kInt, FieldKind::kInt}));
static_assert(!FormatMatches("Name=%s", {FieldKind::kInt}));
static_assert(!FormatMatches("Width=%5d", {FieldKind::kInt}));
static_assert(!FormatMatches("Trailing %", {}));
static_assert(!FormatMatches("Long=%ld", {FieldKind::kInt}));

// ---- The cursor -----------------------------------------------------------

TEST(RecordCursorTest, LinesAreNumberedFromOne) {
  RecordCursor cursor("A=1\nB=2\r\nC=3");
  EXPECT_EQ(cursor.lineNumber(), 1);
  EXPECT_EQ(cursor.Line(), "A=1");
  ASSERT_TRUE(NextLine(cursor));
  EXPECT_EQ(cursor.lineNumber(), 2);
  EXPECT_EQ(cursor.Line(), "B=2\r");
  ASSERT_TRUE(NextLine(cursor));
  EXPECT_EQ(cursor.Line(), "C=3");  // the appended line feed ends the last line
  EXPECT_FALSE(cursor.AtEndOfData());
  ASSERT_TRUE(NextLine(cursor));
  EXPECT_EQ(cursor.lineNumber(), 4);
  EXPECT_TRUE(cursor.AtEndOfData());
  EXPECT_FALSE(NextLine(cursor));
  EXPECT_EQ(cursor.lineNumber(), 4);
}

TEST(RecordCursorTest, EmptyTextHasOneEmptyLineAndNoData) {
  RecordCursor cursor("");
  EXPECT_EQ(cursor.Line(), "");
  EXPECT_TRUE(cursor.AtEndOfData());
  int value = 7;
  EXPECT_EQ(ReadFields(cursor, "%d", &value), kEndOfData);
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(ReadString(cursor).has_value());
  ASSERT_TRUE(NextLine(cursor));
  EXPECT_FALSE(NextLine(cursor));
}

TEST(RecordCursorTest, OnlyTrailingBlankLinesCountAsEndOfData) {
  RecordCursor cursor("Points=5\n\n   \n\t\r\n");
  int points = 0;
  EXPECT_EQ(ReadFields(cursor, "Points=%d", &points), 1);
  EXPECT_EQ(points, 5);
  ASSERT_TRUE(NextLine(cursor));
  EXPECT_EQ(ReadFields(cursor, "Points=%d", &points), kEndOfData);

  RecordCursor gap("Points=5\n\nPoints=6\n");
  ASSERT_TRUE(NextLine(gap));
  EXPECT_EQ(ReadFields(gap, "Points=%d", &points), 0);  // blank line inside the file
  EXPECT_EQ(ReadFields(gap, "%d", &points), 0);
}

TEST(RecordCursorTest, ScanNeverRunsIntoTheNextLine) {
  RecordCursor cursor("Points=\n5\n");
  int points = -1;
  EXPECT_EQ(ReadFields(cursor, "Points=%d", &points), 0);
  EXPECT_EQ(points, -1);
}

// ---- Field conversions ----------------------------------------------------

struct IntCase {
  const char* line;
  int expectedResult;
  int expectedValue;  // checked when the result is 1
};

class ReadIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadIntTest, PointsLine) {
  const IntCase& c = GetParam();
  RecordCursor cursor(std::string(c.line) + "\nNext=1\n");
  int value = 12345;
  EXPECT_EQ(ReadFields(cursor, "Points=%d", &value), c.expectedResult) << c.line;
  EXPECT_EQ(value, c.expectedResult == 1 ? c.expectedValue : 12345) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadIntTest,
    ::testing::Values(
        IntCase{"Points=50", 1, 50}, IntCase{"Points=  -17xyz", 1, -17}, IntCase{"Points=+5", 1, 5},
        IntCase{"Points=007", 1, 7}, IntCase{"Points=5\r", 1, 5}, IntCase{"Points=\t\v\f9", 1, 9},
        IntCase{"Points=2147483647", 1, INT_MAX}, IntCase{"Points=-2147483648", 1, INT_MIN},
        IntCase{"Points=2147483648", 0, 0}, IntCase{"Points=-2147483649", 0, 0},
        IntCase{"Points=99999999999999999999999999", 0, 0}, IntCase{"Points=abc", 0, 0},
        IntCase{"Points=", 0, 0}, IntCase{"Points=+-5", 0, 0}, IntCase{"Points=-", 0, 0},
        IntCase{"Points=+", 0, 0}, IntCase{"Points=--5", 0, 0}, IntCase{"Points=\xC3\xA9", 0, 0},
        IntCase{"Pts=5", 0, 0}, IntCase{" Points=5", 0, 0}, IntCase{"Points =5", 0, 0},
        IntCase{"points=5", 0, 0}, IntCase{"Poi", 0, 0}, IntCase{"\xFF\xFE\x00", 0, 0}));

TEST(ReadFieldsTest, SixteenBitFieldsRejectValuesOutsideTheirRange) {
  std::int16_t type = 3;
  EXPECT_EQ(ReadFields(RecordCursor("Type=32767"), "Type=%hd", &type), 1);
  EXPECT_EQ(type, 32767);
  EXPECT_EQ(ReadFields(RecordCursor("Type=-32768"), "Type=%hd", &type), 1);
  EXPECT_EQ(type, -32768);
  type = 3;
  EXPECT_EQ(ReadFields(RecordCursor("Type=32768"), "Type=%hd", &type), 0);
  EXPECT_EQ(ReadFields(RecordCursor("Type=65537"), "Type=%hd", &type), 0);
  EXPECT_EQ(type, 3);
}

TEST(ReadFieldsTest, SkippedFieldIsReadButNotStored) {
  int index = -1;
  EXPECT_EQ(ReadFields(RecordCursor("Subs3=7"), "Subs%*d=%d", &index), 1);
  EXPECT_EQ(index, 7);
  index = -1;
  EXPECT_EQ(ReadFields(RecordCursor("Subsx=7"), "Subs%*d=%d", &index), 0);
  EXPECT_EQ(ReadFields(RecordCursor("Subs99999999999=7"), "Subs%*d=%d", &index), 0);
  EXPECT_EQ(ReadFields(RecordCursor("Subs3:7"), "Subs%*d=%d", &index), 0);
  EXPECT_EQ(index, -1);
  double value = 0.0;
  EXPECT_EQ(ReadFields(RecordCursor("Param2=0.25"), "Param%*d=%lf", &value), 1);
  EXPECT_EQ(value, 0.25);
}

TEST(ReadFieldsTest, FieldsBeforeAFailureKeepTheirValues) {
  int first = -1, second = -1;
  EXPECT_EQ(ReadFields(RecordCursor("Node=5,x"), "Node=%d,%d", &first, &second), 1);
  EXPECT_EQ(first, 5);
  EXPECT_EQ(second, -1);
  EXPECT_EQ(ReadFields(RecordCursor("Node=6,43"), "Node=%d,%d", &first, &second), 2);
  EXPECT_EQ(first, 6);
  EXPECT_EQ(second, 43);
  // The text ends after a stored field: the count, not end of data.
  EXPECT_EQ(ScanFields(std::string_view("Node=8"), "Node=%d,%d", &first, &second).fields, 1);
}

TEST(ReadFieldsTest, WhitespaceFollowsScanf) {
  int value = 0;
  // A blank in the format takes any run of whitespace, also none.
  EXPECT_EQ(ReadFields(RecordCursor("A=5"), "A = %d", &value), 1);
  EXPECT_EQ(ReadFields(RecordCursor("A \t=  6"), "A = %d", &value), 1);
  EXPECT_EQ(value, 6);
  // A literal does not skip whitespace, a conversion does.
  EXPECT_EQ(ReadFields(RecordCursor("A= 7"), "A=%d", &value), 1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(ReadFields(RecordCursor("A =8"), "A=%d", &value), 0);
  // A trailing line feed in the format is whitespace too.
  double constant = 0.0;
  EXPECT_EQ(ReadFields(RecordCursor("Const=2.5"), "Const=%lf\n", &constant), 1);
  EXPECT_EQ(constant, 2.5);
  EXPECT_EQ(ReadFields(RecordCursor("Rate=100% 4"), "Rate=100%% %d", &value), 1);
  EXPECT_EQ(value, 4);
}

struct RealCase {
  const char* text;
  int expectedResult;
  double expectedValue;  // checked when the result is 1
  std::size_t expectedConsumed;
};

class ReadDoubleTest : public ::testing::TestWithParam<RealCase> {};

TEST_P(ReadDoubleTest, LfField) {
  const RealCase& c = GetParam();
  double value = -12345.0;
  ScanResult result = ScanFields(std::string_view(c.text), "%lf", &value);
  EXPECT_EQ(result.fields, c.expectedResult) << c.text;
  if (c.expectedResult == 1) {
    if (std::isnan(c.expectedValue)) {
      EXPECT_TRUE(std::isnan(value)) << c.text;
    } else {
      EXPECT_EQ(value, c.expectedValue) << c.text;
      EXPECT_EQ(std::signbit(value), std::signbit(c.expectedValue)) << c.text;
    }
    EXPECT_EQ(result.consumed, c.expectedConsumed) << c.text;
  } else {
    EXPECT_EQ(value, -12345.0) << c.text;
  }
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Table, ReadDoubleTest,
    ::testing::Values(
        RealCase{"1.5", 1, 1.5, 3}, RealCase{"  -2.5e-3 ", 1, -2.5e-3, 9},
        RealCase{"+4E2", 1, 400.0, 4}, RealCase{".5", 1, 0.5, 2}, RealCase{"5.", 1, 5.0, 2},
        RealCase{"1e", 1, 1.0, 1}, RealCase{"1e+", 1, 1.0, 1}, RealCase{"-1.000000 ", 1, -1.0, 9},
        RealCase{"0.1234567890123456", 1, 0.1234567890123456, 18},
        RealCase{"1.7976931348623157e308", 1, 1.7976931348623157e308, 22},
        RealCase{"1e400", 0, 0, 0}, RealCase{"-1e400", 0, 0, 0}, RealCase{"1e-400", 1, 0.0, 6},
        RealCase{"-1e-400", 1, -0.0, 7}, RealCase{"0.000000001e-99999999999999999999", 1, 0.0, 33},
        RealCase{"123456789e99999999999999999999", 0, 0, 0}, RealCase{"0e99999999", 1, 0.0, 10},
        RealCase{"inf", 1, kInf, 3}, RealCase{"-Infinity", 1, -kInf, 9},
        RealCase{"nan", 1, kNan, 3}, RealCase{"0x1p3", 1, 8.0, 5}, RealCase{"-0X.8", 1, -0.5, 5},
        RealCase{"0x", 1, 0.0, 1}, RealCase{"0xg", 1, 0.0, 1}, RealCase{"0x1p99999", 0, 0, 0},
        RealCase{"0x1p-99999", 1, 0.0, 10}, RealCase{"e5", 0, 0, 0}, RealCase{".", 0, 0, 0},
        RealCase{"+-1", 0, 0, 0}, RealCase{"-+1", 0, 0, 0}, RealCase{"\xC3\xA9", 0, 0, 0},
        RealCase{"", kEndOfData, 0, 0}, RealCase{" \t ", kEndOfData, 0, 0}));

TEST(ReadFieldsTest, SinglePrecisionFieldsOverflowAtFloatRange) {
  float value = 2.0f;
  EXPECT_EQ(ReadFields(RecordCursor("3.4e38"), "%f", &value), 1);
  EXPECT_EQ(value, 3.4e38f);
  value = 2.0f;
  EXPECT_EQ(ReadFields(RecordCursor("3.5e38"), "%f", &value), 0);
  EXPECT_EQ(ReadFields(RecordCursor("1e300"), "%f", &value), 0);
  EXPECT_EQ(value, 2.0f);
  EXPECT_EQ(ReadFields(RecordCursor("1e-50"), "%f", &value), 1);
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(ReadFields(RecordCursor("-1.000000"), "%f", &value), 1);
  EXPECT_EQ(value, -1.0f);
}

TEST(ReadFieldsTest, HugeLinesAreReadWithoutTrouble) {
  const std::size_t kLength = 4'000'000;
  int value = 1;
  EXPECT_EQ(ReadFields(RecordCursor("Points=" + std::string(kLength, '9')), "Points=%d", &value),
            0);
  EXPECT_EQ(
      ReadFields(RecordCursor("Points=" + std::string(kLength, '0') + "42"), "Points=%d", &value),
      1);
  EXPECT_EQ(value, 42);
  double real = 1.0;
  EXPECT_EQ(
      ReadFields(RecordCursor("Value=0." + std::string(kLength, '0') + "1"), "Value=%le", &real),
      1);
  EXPECT_EQ(real, 0.0);
  EXPECT_EQ(ReadFields(RecordCursor("Value=" + std::string(kLength, '7')), "Value=%le", &real), 0);
  std::string longName = "Title=" + std::string(kLength, 'x');
  EXPECT_EQ(ReadString(RecordCursor(longName))->size(), kLength);
}

TEST(ScanFieldsTest, ConsumedCountWalksARowOfValues) {
  std::string_view row = "1.000000 -1.000000 0.000000 \n";
  std::vector<float> values;
  while (true) {
    float value = 0.0f;
    ScanResult result = ScanFields(row, " %f ", &value);
    if (result.fields != 1) {
      EXPECT_EQ(result.fields, kEndOfData);
      break;
    }
    values.push_back(value);
    row.remove_prefix(result.consumed);
  }
  EXPECT_EQ(values, (std::vector<float>{1.0f, -1.0f, 0.0f}));
}

// ---- Messages -------------------------------------------------------------

TEST(CheckFieldsTest, SaysNothingWhenTheCountMatches) {
  RecordingSink sink;
  EXPECT_TRUE(CheckFields(2, 2, 5, sink));
  EXPECT_TRUE(sink.messages().empty());
}

struct CheckCase {
  int result;
  int expected;
  const char* text;
};

class CheckFieldsMessageTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckFieldsMessageTest, ShowsOneErrorBox) {
  RecordingSink sink;
  EXPECT_FALSE(CheckFields(GetParam().result, GetParam().expected, 17, sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kError);
  EXPECT_EQ(sink.messages()[0].title, messages::kFileErrorTitle);
  EXPECT_EQ(sink.messages()[0].text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckFieldsMessageTest,
    ::testing::Values(CheckCase{kEndOfData, 1, "Unexpected end of file at line 17"},
                      CheckCase{0, 1, "Failed to read one or more fields at line 17"},
                      CheckCase{1, 2, "Failed to read one or more fields at line 17"},
                      CheckCase{3, 2, "Failed to read one or more fields at line 17"}));

TEST(ReadFieldLineTest, RecordEndingOneLineEarlyNamesTheMissingLine) {
  RecordCursor cursor("Scan\nEnabled=1\nDimension=2\n");
  RecordingSink sink;
  int enabled = 0, dimension = 0, points = 0;
  ASSERT_TRUE(NextLine(cursor));
  ASSERT_TRUE(ReadFieldLine(cursor, sink, "Enabled=%d", &enabled));
  ASSERT_TRUE(ReadFieldLine(cursor, sink, "Dimension=%d", &dimension));
  EXPECT_FALSE(ReadFieldLine(cursor, sink, "Points=%d", &points));
  EXPECT_EQ(enabled, 1);
  EXPECT_EQ(dimension, 2);
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Unexpected end of file at line 4"}));
}

// A file cut off after the key of its last line ends before the field
// could be read: the same "Unexpected end of file" as a missing line, while
// a bad value on that line is still a field failure.
TEST(ReadFieldLineTest, LastLineEndingBeforeItsFieldIsAnEndOfFile) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"Dimension=2\nPoints=", "Unexpected end of file at line 2"},
      {"Dimension=2\nPoints=  \t\n\n  \n", "Unexpected end of file at line 2"},
      {"Dimension=2\nPoints=-", "Failed to read one or more fields at line 2"},
      {"Dimension=2\nPoints=\nEndTime=10\n", "Failed to read one or more fields at line 2"},
  };
  for (const Case& c : cases) {
    RecordCursor cursor(c.text);
    RecordingSink sink;
    int dimension = 0, points = 77;
    ASSERT_TRUE(ReadFieldLine(cursor, sink, "Dimension=%d", &dimension)) << c.text;
    EXPECT_FALSE(ReadFieldLine(cursor, sink, "Points=%d", &points)) << c.text;
    EXPECT_EQ(points, 77) << c.text;
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.expected}) << c.text;
  }
}

TEST(ReadFieldLineTest, NonNumericPointsIsAFieldFailure) {
  RecordCursor cursor("Points=many\nEndTime=10\n");
  RecordingSink sink;
  int points = 0;
  EXPECT_FALSE(ReadFieldLine(cursor, sink, "Points=%d", &points));
  EXPECT_EQ(cursor.lineNumber(), 1);
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{"Failed to read one or more fields at line 1"}));
}

TEST(ReadFieldLineTest, ChecksEveryConvertedField) {
  RecordCursor cursor("Node=1\n");
  RecordingSink sink;
  int kind = 0, operation = 0;
  EXPECT_FALSE(ReadFieldLine(cursor, sink, "Node=%d,%d", &kind, &operation));
  EXPECT_TRUE(sink.Said("Failed to read one or more fields at line 1"));
}

// ---- String values --------------------------------------------------------

struct StringCase {
  const char* line;
  const char* value;  // nullptr: no value
};

class ReadStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ReadStringTest, ValueAfterTheFirstEquals) {
  std::optional<std::string> value = ReadString(RecordCursor(GetParam().line));
  if (GetParam().value == nullptr) {
    EXPECT_FALSE(value.has_value()) << GetParam().line;
  } else {
    ASSERT_TRUE(value.has_value()) << GetParam().line;
    EXPECT_EQ(*value, GetParam().value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadStringTest,
    ::testing::Values(StringCase{"Title=My model", "My model"}, StringCase{"Title=", ""},
                      StringCase{"Equation=A + 2*B = P", "A + 2*B = P"},
                      StringCase{"Title= padded  ", " padded  "},
                      StringCase{"Title=CRLF\r\nNext=1", "CRLF"}, StringCase{"Title=a\rb", "a"},
                      StringCase{"=x", "x"},
                      StringCase{"Title=\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
                      StringCase{"Title", nullptr}, StringCase{"", nullptr},
                      StringCase{"Title\nSecond=1", nullptr}));

TEST(ReadStringLineTest, AdvancesOnSuccess) {
  RecordCursor cursor("Title=One\nComments=Two\n");
  RecordingSink sink;
  EXPECT_EQ(ReadStringLine(cursor, sink), "One");
  EXPECT_EQ(ReadStringLine(cursor, sink), "Two");
  EXPECT_EQ(cursor.lineNumber(), 3);
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ReadStringLineTest, MissingEqualsIsAFieldFailure) {
  RecordCursor cursor("Stoichiometry\nTitle=x\n");
  RecordingSink sink;
  EXPECT_FALSE(ReadStringLine(cursor, sink).has_value());
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{"Failed to read one or more fields at line 1"}));
}

TEST(ReadStringLineTest, MissingLineIsAnEndOfFile) {
  RecordCursor cursor("Title=x\n");
  RecordingSink sink;
  ASSERT_TRUE(ReadStringLine(cursor, sink).has_value());
  EXPECT_FALSE(ReadStringLine(cursor, sink).has_value());
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Unexpected end of file at line 2"}));
}

// ---- File error texts -----------------------------------------------------

struct CauseText {
  FileErrorCause cause;
  const char* text;
};

class FileErrorTextTest : public ::testing::TestWithParam<CauseText> {};

TEST_P(FileErrorTextTest, Text) {
  EXPECT_EQ(FileErrorText(GetParam().cause), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileErrorTextTest,
    ::testing::Values(
        CauseText{FileErrorCause::kGeneric, "An unspecified file I/O error occurred."},
        CauseText{FileErrorCause::kNone, "An unspecified file I/O error occurred."},
        CauseText{FileErrorCause::kFileNotFound, "The file could not be located."},
        CauseText{FileErrorCause::kBadPath, "All or part of the path is invalid."},
        CauseText{FileErrorCause::kTooManyOpenFiles,
                  "The permitted number of open files was exceeded."},
        CauseText{FileErrorCause::kAccessDenied, "The file could not be accessed."},
        CauseText{FileErrorCause::kInvalidFile,
                  "There was an attempt to use an invalid file handle."},
        CauseText{FileErrorCause::kRemoveCurrentDirectory,
                  "The current working directory cannot be removed."},
        CauseText{FileErrorCause::kDirectoryFull, "There are no more directory entries."},
        CauseText{FileErrorCause::kBadSeek, "There was an error trying to set the file pointer."},
        CauseText{FileErrorCause::kHardIo, "There was a hardware file I/O error."},
        CauseText{FileErrorCause::kSharingViolation, "A shared region of the file is locked."},
        CauseText{FileErrorCause::kLockViolation,
                  "There was an attempt to lock a region that was already locked."},
        CauseText{FileErrorCause::kDiskFull, "The disk is full."},
        CauseText{FileErrorCause::kEndOfFile, "The end of file was reached."},
        CauseText{FileErrorCause::kNotRegularFile, "The file is not a regular file."},
        CauseText{FileErrorCause::kFileTooLarge, "The file is too large."},
        CauseText{static_cast<FileErrorCause>(999), "An unspecified file I/O error occurred."}));

struct ErrnoCause {
  int errorNumber;
  FileOperation operation;
  FileErrorCause cause;
};

class FileErrorCauseTest : public ::testing::TestWithParam<ErrnoCause> {};

TEST_P(FileErrorCauseTest, FromErrno) {
  EXPECT_EQ(FileErrorCauseFromErrno(GetParam().errorNumber, GetParam().operation), GetParam().cause)
      << GetParam().errorNumber;
}

constexpr FileOperation kAccess = FileOperation::kAccess;

INSTANTIATE_TEST_SUITE_P(
    Table, FileErrorCauseTest,
    ::testing::Values(ErrnoCause{0, kAccess, FileErrorCause::kNone},
                      ErrnoCause{ENOENT, kAccess, FileErrorCause::kFileNotFound},
                      ErrnoCause{ENOTDIR, kAccess, FileErrorCause::kBadPath},
                      ErrnoCause{ENAMETOOLONG, kAccess, FileErrorCause::kBadPath},
                      ErrnoCause{EMFILE, kAccess, FileErrorCause::kTooManyOpenFiles},
                      ErrnoCause{ENFILE, kAccess, FileErrorCause::kTooManyOpenFiles},
                      ErrnoCause{EACCES, kAccess, FileErrorCause::kAccessDenied},
                      ErrnoCause{EPERM, kAccess, FileErrorCause::kAccessDenied},
                      ErrnoCause{EROFS, kAccess, FileErrorCause::kAccessDenied},
                      ErrnoCause{EISDIR, kAccess, FileErrorCause::kAccessDenied},
                      ErrnoCause{EBADF, kAccess, FileErrorCause::kInvalidFile},
                      ErrnoCause{EBUSY, FileOperation::kRemoveDirectory,
                                 FileErrorCause::kRemoveCurrentDirectory},
                      ErrnoCause{EBUSY, kAccess, FileErrorCause::kSharingViolation},
                      ErrnoCause{EMLINK, kAccess, FileErrorCause::kDirectoryFull},
                      ErrnoCause{ESPIPE, kAccess, FileErrorCause::kBadSeek},
                      ErrnoCause{EIO, kAccess, FileErrorCause::kHardIo},
                      ErrnoCause{ENOLCK, kAccess, FileErrorCause::kLockViolation},
                      ErrnoCause{ENOSPC, kAccess, FileErrorCause::kDiskFull},
                      ErrnoCause{EDQUOT, kAccess, FileErrorCause::kDiskFull},
                      ErrnoCause{EFBIG, kAccess, FileErrorCause::kFileTooLarge},
                      ErrnoCause{EINVAL, kAccess, FileErrorCause::kGeneric},
                      ErrnoCause{-5, kAccess, FileErrorCause::kGeneric}));

class ReadWholeFileTest : public ::testing::Test {
 protected:
  test::TemporaryFolder temporary_;
  const std::filesystem::path folder_ = temporary_.path();
};

TEST_F(ReadWholeFileTest, ReadsBytesAsTheyAre) {
  const std::string bytes =
      std::string("Version=3.00301\r\nTitle=\xC3\xA9\n") + std::string(1, '\0') + "tail";
  std::filesystem::path path = folder_ / "model.vrn";
  std::ofstream(path, std::ios::binary) << bytes;
  std::string contents = "stale";
  EXPECT_EQ(ReadWholeFile(path, contents), FileErrorCause::kNone);
  EXPECT_EQ(contents, bytes);
}

TEST_F(ReadWholeFileTest, MissingFileAndDirectory) {
  std::string contents;
  EXPECT_EQ(ReadWholeFile(folder_ / "absent.vrn", contents), FileErrorCause::kFileNotFound);
  EXPECT_EQ(ReadWholeFile(folder_ / "absent" / "model.vrn", contents),
            FileErrorCause::kFileNotFound);
  std::ofstream(folder_ / "plain") << "x";
  EXPECT_EQ(ReadWholeFile(folder_ / "plain" / "model.vrn", contents), FileErrorCause::kBadPath);
  EXPECT_EQ(ReadWholeFile(folder_, contents), FileErrorCause::kNotRegularFile);
  EXPECT_TRUE(contents.empty());
}

}  // namespace
}  // namespace vireon
