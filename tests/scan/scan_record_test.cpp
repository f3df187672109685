#include "scan/scan_record.h"

#include <gtest/gtest.h>

#include <string>

#include "model/messages.h"
#include "output/output_function.h"
#include "scan/parameter_link.h"
#include "engine/random.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

ScanItem ConstantItem() {
  ScanItem item;
  item.title = "R1(Km)";
  item.type = kKineticConstant;
  item.i = "R1";
  item.j = "Km";
  item.min = 0.125;
  item.max = 12.5;
  item.density = 7;
  item.grid = kScanUniform;
  item.log = 1;
  item.independent = 0;
  return item;
}

TEST(ScanItemRecordTest, WritesTheItemRecordThenTheScanLines) {
  std::string out;
  SaveScanItem(ConstantItem(), out);
  EXPECT_EQ(out,
            "Title=R1(Km)\nType=6\nI=R1\nJ=Km\n"
            "Min=0.1250000000000000\nMax=12.5000000000000000\nDensity=7\nLog=1\n"
            "Independent=0\nGrid=1\n");
}

TEST(ScanItemRecordTest, RoundTripKeepsEveryStoredField) {
  ScanItem item = ConstantItem();
  item.min = 1.0 / 3.0;  // 16 decimals keep it to within 1e-16
  std::string out;
  SaveScanItem(item, out);
  RecordCursor cursor(out);
  RecordingSink sink;
  ScanItem read;
  ASSERT_TRUE(LoadScanItem(cursor, sink, read));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.title, item.title);
  EXPECT_EQ(read.j, "Km");
  EXPECT_CLOSE(read.min, item.min, 1e-16, 0.0);
  EXPECT_CLOSE(read.max, item.max, 0.0, 0.0);
  EXPECT_EQ(read.density, 7);
  EXPECT_EQ(read.grid, kScanUniform);
  EXPECT_EQ(read.log, 1);
  EXPECT_EQ(read.independent, 0);
  EXPECT_EQ(read.value, nullptr);
}

std::string Record(const std::string& min, const std::string& max, int density, int log,
                   int independent, int grid) {
  return "Title=[A]i\nType=1\nI=A\nMin=" + min + "\nMax=" + max +
         "\nDensity=" + std::to_string(density) + "\nLog=" + std::to_string(log) +
         "\nIndependent=" + std::to_string(independent) + "\nGrid=" + std::to_string(grid) + "\n";
}

struct RepairCase {
  const char* name;
  std::string record;
  std::vector<std::string> messages;
  double min, max;
  int density, grid, log, independent;
};

class ScanItemRepairTest : public ::testing::TestWithParam<RepairCase> {};

TEST_P(ScanItemRepairTest, RepairsWithTheirMessages) {
  const RepairCase& c = GetParam();
  RecordCursor cursor(c.record);
  RecordingSink sink;
  ScanItem item;
  ASSERT_TRUE(LoadScanItem(cursor, sink, item));
  EXPECT_EQ(sink.Texts(), c.messages);
  for (const auto& message : sink.messages()) {
    EXPECT_EQ(message.kind, RecordingSink::Kind::kInformation);
  }
  EXPECT_CLOSE(item.min, c.min, 0.0, 0.0);
  EXPECT_CLOSE(item.max, c.max, 0.0, 0.0);
  EXPECT_EQ(item.density, c.density);
  EXPECT_EQ(item.grid, c.grid);
  EXPECT_EQ(item.log, c.log);
  EXPECT_EQ(item.independent, c.independent);
}

const std::string kDensity = messages::kScanDensityReset;
const std::string kEnds = messages::kScanEndsReset;

INSTANTIATE_TEST_SUITE_P(
    Records, ScanItemRepairTest,
    ::testing::Values(
        RepairCase{"Clean", Record("0.5", "4", 3, 0, 1, 0), {}, 0.5, 4.0, 3, 0, 0, 1},
        RepairCase{"FlagsReadAsOne", Record("0.5", "4", 3, 7, -2, 0), {}, 0.5, 4.0, 3, 0, 1, 1},
        RepairCase{
            "DensityBelowTwo", Record("0.5", "4", 1, 0, 1, 0), {kDensity}, 0.5, 4.0, 2, 0, 0, 1},
        RepairCase{"EqualEndsOfGrid", Record("3", "3", 5, 0, 1, 0), {kEnds}, 1.0, 2.0, 5, 0, 0, 1},
        RepairCase{
            "EqualEndsOfUniform", Record("3", "3", 5, 0, 1, 1), {kEnds}, 1.0, 2.0, 5, 1, 0, 1},
        RepairCase{
            "BothInOrder", Record("3", "3", -4, 0, 1, 1), {kDensity, kEnds}, 1.0, 2.0, 2, 1, 0, 1},
        RepairCase{
            "NormalMayHaveEqualEnds", Record("3", "3", 5, 0, 1, 2), {}, 3.0, 3.0, 5, 2, 0, 1},
        RepairCase{"PositiveNormal", Record("3", "3", 5, 0, 0, 3), {}, 3.0, 3.0, 5, 3, 0, 0},
        RepairCase{"UnknownKind", Record("3", "3", 5, 0, 1, 4), {}, 3.0, 3.0, 5, -1, 0, 1},
        RepairCase{"NegativeKind", Record("1", "2", 5, 0, 1, -7), {}, 1.0, 2.0, 5, -1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanItemRecordTest, MissingLineReportsEndOfFileWithItsNumber) {
  std::string record = Record("1", "2", 2, 0, 1, 0);
  record.erase(record.find("Grid="));
  RecordCursor cursor(record);
  RecordingSink sink;
  ScanItem item;
  EXPECT_FALSE(LoadScanItem(cursor, sink, item));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Unexpected end of file at line 9"});
}

TEST(ScanItemRecordTest, BadFieldReportsItsLine) {
  RecordCursor cursor(Record("one", "2", 2, 0, 1, 0));
  RecordingSink sink;
  ScanItem item;
  EXPECT_FALSE(LoadScanItem(cursor, sink, item));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Failed to read one or more fields at line 4"});
  EXPECT_EQ(item.grid, kScanNone);  // an item read from a file starts with no kind
}

TEST(ScanSectionTest, RoundTripOfTheWholeSection) {
  ScanList scan;
  scan.enabled = 1;
  scan.items.push_back(ConstantItem());
  ScanItem end;
  end.title = "end time";
  end.type = kEndTime;
  end.min = 5;
  end.max = 50;
  scan.items.push_back(end);
  std::string out;
  SaveScanSection(scan, out);
  EXPECT_EQ(out.rfind("Scan\nEnabled=1\nDimension=2\nTitle=R1(Km)\n", 0), 0u);
  EXPECT_NE(out.find("Title=end time\nType=25\nMin=5.0000000000000000\n"), std::string::npos);
  RecordCursor cursor(out + "Parameter Links\n");
  RecordingSink sink;
  ScanList read;
  EXPECT_EQ(LoadScanSection(cursor, sink, read), SelectionLoadStatus::kOk);
  EXPECT_EQ(read, scan);
  EXPECT_EQ(cursor.Line(), "Parameter Links");
}

TEST(ScanSectionTest, CountsAndRecordsThatFail) {
  struct Case {
    std::string text;
    SelectionLoadStatus status;
    std::size_t itemsRead;
  };
  const std::string item = Record("1", "2", 2, 0, 1, 0);
  for (const Case& c :
       {Case{"Scan\nEnabled=1\nDimension=-1\n", SelectionLoadStatus::kBadCount, 0},
        Case{"Scan\nEnabled=x\n", SelectionLoadStatus::kBadCount, 0},
        Case{"Scan\n", SelectionLoadStatus::kBadCount, 0},
        Case{"", SelectionLoadStatus::kBadCount, 0},
        Case{"Scan\nEnabled=1\nDimension=2\n" + item, SelectionLoadStatus::kBadRecord, 1},
        Case{"Scan\nEnabled=5\nDimension=0\n", SelectionLoadStatus::kOk, 0}}) {
    RecordCursor cursor(c.text);
    RecordingSink sink;
    ScanList scan;
    EXPECT_EQ(LoadScanSection(cursor, sink, scan), c.status) << c.text;
    EXPECT_EQ(scan.items.size(), c.itemsRead) << c.text;
    if (c.status == SelectionLoadStatus::kOk) {
      EXPECT_EQ(scan.enabled, 1);
    }
  }
}

TEST(ScanSectionTest, AHugeDimensionFailsAtTheEndOfTheFileWithoutAllocating) {
  RecordCursor cursor("Scan\nEnabled=1\nDimension=2000000000\n");
  RecordingSink sink;
  ScanList scan;
  EXPECT_EQ(LoadScanSection(cursor, sink, scan), SelectionLoadStatus::kBadRecord);
  EXPECT_TRUE(sink.Said("Unexpected end of file at line 4"));
}

ParameterLink SampleLink() {
  ParameterLink link;
  link.target = OutputItem{"V(cell)", kVolume, "cell", "", nullptr};
  link.source = OutputItem{"ratio", kUserFunction, "", "", nullptr};
  link.constant = 1.2345678901234567;
  return link;
}

TEST(ParameterLinkRecordTest, WritesBothEndsAndTheFactorWithSixteenDecimals) {
  std::string out;
  SaveParameterLink(SampleLink(), out);
  EXPECT_EQ(out,
            "Title=V(cell)\nType=12\nI=cell\nTitle=ratio\nType=24\nConst=1.2345678901234567\n");
  EXPECT_EQ(SampleLink().DisplayLine(), "V(cell) = 1.23457 * ratio");
}

TEST(ParameterLinkRecordTest, SectionRoundTrip) {
  std::vector<ParameterLink> links = {SampleLink(), SampleLink()};
  links[1].constant = -2.0;
  links[1].source = OutputItem{"time", kTime, "", "", nullptr};
  std::string out;
  SaveParameterLinkSection(links, out);
  EXPECT_EQ(out.rfind("Parameter Links\nItems=2\nTitle=V(cell)\n", 0), 0u);
  RecordCursor cursor(out);
  RecordingSink sink;
  std::vector<ParameterLink> read;
  EXPECT_EQ(LoadParameterLinkSection(cursor, sink, read), SelectionLoadStatus::kOk);
  EXPECT_EQ(read, links);
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ParameterLinkRecordTest, BadRecordsEndTheReading) {
  struct Case {
    std::string text;
    SelectionLoadStatus status;
    std::string message;
  };
  for (const Case& c :
       {Case{"Parameter Links\nItems=1\nTitle=V(c)\nType=12\nI=c\nTitle=t\nType=14\n",
             SelectionLoadStatus::kBadRecord, "Unexpected end of file at line 8"},
        Case{"Parameter Links\nItems=1\nTitle=V(c)\nType=12\nI=c\nTitle=t\nType=14\nConst=two\n",
             SelectionLoadStatus::kBadRecord, "Failed to read one or more fields at line 8"},
        Case{"Parameter Links\nItems=-3\n", SelectionLoadStatus::kBadCount, ""}}) {
    RecordCursor cursor(c.text);
    RecordingSink sink;
    std::vector<ParameterLink> links;
    EXPECT_EQ(LoadParameterLinkSection(cursor, sink, links), c.status);
    if (!c.message.empty()) {
      EXPECT_TRUE(sink.Said(c.message)) << c.text;
    }
    EXPECT_TRUE(links.empty());
  }
}

// Damaged files (bytes changed, lines cut short) are refused or repaired
// with a message, never a crash; the sanitizers watch every reading.
TEST(RecordRobustnessTest, DamagedSectionsNeverCrash) {
  ScanList scan;
  scan.enabled = 1;
  scan.items = {ConstantItem(), ConstantItem()};
  std::vector<ParameterLink> links = {SampleLink()};
  OutputFunction function("f", "a*gauss(b)+1.5");
  ASSERT_EQ(function.Parse(), 0);
  *function.ItemOf('a') = OutputItem{"J(R1)", kTransientFlux, "R1", "", nullptr};
  std::string text;
  SaveOutputFunctionSection({function}, text);
  SaveScanSection(scan, text);
  SaveParameterLinkSection(links, text);

  const std::string damage = "=\n,-0123456789xX%@\r";
  RandomGenerator random(2024);
  auto draw = [&](std::size_t n) { return static_cast<std::size_t>(random.Uniform() * n); };
  for (int trial = 0; trial < 2000; ++trial) {
    std::string damaged = text;
    const int changes = 1 + static_cast<int>(draw(4));
    for (int c = 0; c < changes; ++c) damaged[draw(damaged.size())] = damage[draw(damage.size())];
    if (trial % 3 == 0) damaged.resize(draw(damaged.size()));
    RecordCursor cursor(damaged);
    RecordingSink sink;
    std::vector<OutputFunction> functions;
    ScanList readScan;
    std::vector<ParameterLink> readLinks;
    if (LoadOutputFunctionSection(cursor, sink, functions) != SelectionLoadStatus::kOk) continue;
    RandomGenerator evaluation(1);
    EvaluateOutputFunctions(functions, evaluation);
    if (LoadScanSection(cursor, sink, readScan) != SelectionLoadStatus::kOk) continue;
    for (const ScanItem& item : readScan.items) {
      EXPECT_GE(item.density, 2);
      EXPECT_TRUE(item.grid >= kScanNone && item.grid <= kScanPositiveNormal);
    }
    LoadParameterLinkSection(cursor, sink, readLinks);
  }
}

}  // namespace
}  // namespace vireon
