#include "output/output_item_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/record_cursor.h"

namespace vireon {
namespace {

OutputItem Item(std::string title, int type, std::string i = {}, std::string j = {}) {
  OutputItem item;
  item.title = std::move(title);
  item.type = type;
  item.i = std::move(i);
  item.j = std::move(j);
  return item;
}

struct RecordCase {
  OutputItem item;
  const char* record;
};

// One item of every type the dialogs create, with the record it is stored as.
const std::vector<RecordCase>& RecordCases() {
  static const std::vector<RecordCase> cases = {
      {Item("[A]i", 1, "A"), "Title=[A]i\nType=1\nI=A\n"},
      {Item("[A]ss", 2, "A"), "Title=[A]ss\nType=2\nI=A\n"},
      {Item("[A]t", 3, "A"), "Title=[A]t\nType=3\nI=A\n"},
      {Item("J(R 1)", 4, "R 1"), "Title=J(R 1)\nType=4\nI=R 1\n"},
      {Item("J(R1)", 5, "R1"), "Title=J(R1)\nType=5\nI=R1\n"},
      {Item("R1(Km)", 6, "R1", "Km"), "Title=R1(Km)\nType=6\nI=R1\nJ=Km\n"},
      {Item("e(R1,[A])", 7, "R1", "A"), "Title=e(R1,[A])\nType=7\nI=R1\nJ=A\n"},
      {Item("C([A],R1)", 8, "A", "R1"), "Title=C([A],R1)\nType=8\nI=A\nJ=R1\n"},
      {Item("C(J(R1),R2)", 9, "R1", "R2"), "Title=C(J(R1),R2)\nType=9\nI=R1\nJ=R2\n"},
      {Item("tt(A)", 10, "A"), "Title=tt(A)\nType=10\nI=A\n"},
      {Item("x", 11, "p", "q"), "Title=x\nType=11\nI=p\nJ=q\n"},
      {Item("V(cell)", 12, "cell"), "Title=V(cell)\nType=12\nI=cell\n"},
      {Item("  E + ES ", 13, "  E + ES "), "Title=  E + ES \nType=13\nI=  E + ES \n"},
      {Item("time", 14), "Title=time\nType=14\n"},
      {Item("step count", 15), "Title=step count\nType=15\n"},
      {Item("F(x) evaluations", 16), "Title=F(x) evaluations\nType=16\n"},
      {Item("Jac. evaluations", 17), "Title=Jac. evaluations\nType=17\n"},
      {Item("step size", 18), "Title=step size\nType=18\n"},
      {Item("rel.tolerance", 19), "Title=rel.tolerance\nType=19\n"},
      {Item("abs.tolerance", 20), "Title=abs.tolerance\nType=20\n"},
      {Item("ss resolution", 21), "Title=ss resolution\nType=21\n"},
      {Item("deriv.factor", 22), "Title=deriv.factor\nType=22\n"},
      {Item("real time", 23), "Title=real time\nType=23\n"},
      {Item("f=a+b", 24), "Title=f=a+b\nType=24\n"},
      {Item("end time", 25), "Title=end time\nType=25\n"},
      {Item("Max.real eigenvalue component", 27), "Title=Max.real eigenvalue component\nType=27\n"},
      {Item("Max.imag.eigenvalue component", 28), "Title=Max.imag.eigenvalue component\nType=28\n"},
      {Item("Tot.w/pos.real part", 29), "Title=Tot.w/pos.real part\nType=29\n"},
      {Item("Tot.w/neg.real part", 30), "Title=Tot.w/neg.real part\nType=30\n"},
      {Item("Tot.real eigenvalues", 31), "Title=Tot.real eigenvalues\nType=31\n"},
      {Item("Tot.imag.eigenvalues", 32), "Title=Tot.imag.eigenvalues\nType=32\n"},
      {Item("Tot.cplx.eigenvalues", 33), "Title=Tot.cplx.eigenvalues\nType=33\n"},
      {Item("Tot.zero eigenvalues", 34), "Title=Tot.zero eigenvalues\nType=34\n"},
      {Item("k_1", 35, "k_1"), "Title=k_1\nType=35\nI=k_1\n"},
      {Item("k_1(t)", 36, "k_1"), "Title=k_1(t)\nType=36\nI=k_1\n"},
      {Item("V(cell)t", 37, "cell"), "Title=V(cell)t\nType=37\nI=cell\n"},
  };
  return cases;
}

TEST(OutputItemRecordTest, EveryTypeIsWrittenWithItsLines) {
  for (const RecordCase& c : RecordCases()) {
    std::string out;
    SaveOutputItem(c.item, out);
    EXPECT_EQ(out, c.record) << c.item.type;
  }
}

TEST(OutputItemRecordTest, EveryTypeReadsBackToTheSameItem) {
  for (const RecordCase& c : RecordCases()) {
    RecordingSink sink;
    RecordCursor cursor(std::string(c.record) + "next line\n");
    OutputItem item;
    double stale = 1.0;
    item.value = &stale;
    ASSERT_TRUE(LoadOutputItem(cursor, sink, item)) << c.record;
    EXPECT_EQ(item, c.item);
    EXPECT_EQ(item.value, nullptr);
    EXPECT_EQ(cursor.Line(), "next line");
    EXPECT_TRUE(sink.messages().empty());
  }
}

TEST(OutputItemRecordTest, TheValueReferenceIsNotStored) {
  double value = 42.0;
  OutputItem item = Item("[A]t", 3, "A");
  item.value = &value;
  std::string out;
  SaveOutputItem(item, out);
  EXPECT_EQ(out.find("42"), std::string::npos);
}

// A record cut after each of its lines fails at the missing line.
TEST(OutputItemRecordTest, AMissingLineEndsTheReadingAtThatLine) {
  const std::string full = "Title=C([A],R1)\nType=8\nI=A\nJ=R1\n";
  std::size_t end = 0;
  for (int kept = 0; kept < 4; ++kept) {
    RecordingSink sink;
    RecordCursor cursor(full.substr(0, end));
    OutputItem item;
    EXPECT_FALSE(LoadOutputItem(cursor, sink, item)) << kept;
    EXPECT_TRUE(sink.Said("Unexpected end of file at line " + std::to_string(kept + 1)))
        << kept << ": " << (sink.Texts().empty() ? "" : sink.Texts()[0]);
    EXPECT_EQ(sink.messages().size(), 1u);
    end = full.find('\n', end) + 1;
  }
}

TEST(OutputItemRecordTest, AMalformedLineFailsTheRecord) {
  struct Case {
    const char* record;
    int line;
  };
  const Case cases[] = {
      {"Title=[A]t\nType=three\nI=A\n", 2},
      {"Title=[A]t\nKind\nI=A\n", 2},
      {"Title\nType=3\nI=A\n", 1},  // no "=": no value
      {"Title=[A]t\nType=3\nA\nmore\n", 3},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    RecordCursor cursor(c.record);
    OutputItem item;
    EXPECT_FALSE(LoadOutputItem(cursor, sink, item)) << c.record;
    EXPECT_TRUE(sink.Said("Failed to read one or more fields at line " + std::to_string(c.line)))
        << c.record;
  }
}

TEST(OutputItemRecordTest, SelectionSectionRoundTrip) {
  std::vector<OutputItem> selection = {Item("time", 14), Item("[A]t", 3, "A"),
                                       Item("R1(Km)", 6, "R1", "Km")};
  std::string out;
  SaveSelection(kTimeCourseSection, selection, out);
  EXPECT_EQ(out,
            "Time-course output\nItems=3\nTitle=time\nType=14\nTitle=[A]t\nType=3\nI=A\n"
            "Title=R1(Km)\nType=6\nI=R1\nJ=Km\n");
  RecordingSink sink;
  RecordCursor cursor(out + "Steady-state output\n");
  std::vector<OutputItem> read = {Item("old", 14)};
  EXPECT_EQ(LoadSelection(cursor, sink, read), SelectionLoadStatus::kOk);
  EXPECT_EQ(read, selection);
  EXPECT_EQ(cursor.Line(), "Steady-state output");
}

TEST(OutputItemRecordTest, EmptySelectionSection) {
  std::string out;
  SaveSelection(kInteractiveSection, {}, out);
  EXPECT_EQ(out, "Interactive time course\nItems=0\n");
  RecordingSink sink;
  RecordCursor cursor(out);
  std::vector<OutputItem> read = {Item("old", 14)};
  EXPECT_EQ(LoadSelection(cursor, sink, read), SelectionLoadStatus::kOk);
  EXPECT_TRUE(read.empty());
}

TEST(OutputItemRecordTest, BadSelectionCountsAndRecords) {
  struct Case {
    const char* text;
    SelectionLoadStatus status;
    std::size_t itemsKept;
  };
  const Case cases[] = {
      {"Steady-state output\nItems=-1\n", SelectionLoadStatus::kBadCount, 0},
      {"Steady-state output\nItems=x\n", SelectionLoadStatus::kBadCount, 0},
      {"Steady-state output\n", SelectionLoadStatus::kBadCount, 0},
      {"", SelectionLoadStatus::kBadCount, 0},
      // A count far beyond the records fails at the end of the file.
      {"Steady-state output\nItems=2000000000\nTitle=time\nType=14\n",
       SelectionLoadStatus::kBadRecord, 1},
      {"Steady-state output\nItems=2\nTitle=time\nType=14\nTitle=x\nType=y\n",
       SelectionLoadStatus::kBadRecord, 1},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    RecordCursor cursor(c.text);
    std::vector<OutputItem> read;
    EXPECT_EQ(LoadSelection(cursor, sink, read), c.status) << c.text;
    EXPECT_EQ(read.size(), c.itemsKept) << c.text;
  }
}

}  // namespace
}  // namespace vireon
