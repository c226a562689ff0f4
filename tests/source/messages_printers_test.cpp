// The exact texts of the value printers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/messages.h"

using namespace pelvarin;

using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

TEST(MessagesPrinters, SingleLinePrintersTable) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const std::string long_name(300, 'n');
  struct Case {
    void (*print)(const std::string&);
    std::string expected;
  };
  const Case cases[] = {
      {[](const std::string&) { print_named_real(0, "x", 1.5); }, "x 1.5"},
      {[](const std::string&) { print_named_real(2, "t", 0.1); }, "t 0.1"},
      {[](const std::string&) { print_named_real_info("big", 1e20); }, "big 1E+20"},
      {[](const std::string&) { print_named_real_info("third", 1.0 / 3); }, "third 0.3333333333333333"},
      {[](const std::string&) { EXPECT_EQ(log_named_real("v", -2), 0); }, "v -2"},
      {[](const std::string& n) { print_named_real(0, n.c_str(), 1); }, std::string(160, 'n') + " 1"},
      {[](const std::string&) { print_named_integer("n", -5); }, "n -5"},
      {[](const std::string&) { print_matrix_element("A", 2, 3, 0.5); }, "  A[2, 3] = 0.5"},
      {[](const std::string&) {
         const double v[] = {1, 2.5, -3};
         print_real_vector("v", v, 3);
       },
       "v = {1, 2.5, -3}"},
      {[](const std::string&) { print_real_vector("e", nullptr, 0); }, "e = {}"},
      {[](const std::string&) { print_text_at_level(1, "plain"); }, "plain"},
  };
  for (const Case& c : cases) {
    LiveInstance::clear();
    c.print(long_name);
    EXPECT_EQ(LiveInstance::lines(), Lines{c.expected});
  }
}

TEST(MessagesPrinters, MatrixPrintsRowsBetweenFrameLines) {
  LiveInstance instance;
  const double values[] = {1, 3, 2, 4};
  print_real_matrix("A", values, 2, 2, 2);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"A = {", "", "{1, 2}, ", "{3, 4}", "", "};"}));
  LiveInstance::clear();
  print_real_matrix("Z", nullptr, 2, 0, 2);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"Z = {", "", "{}, ", "{}", "", "};"}));
}

TEST(MessagesPrinters, MatrixUsesTheLeadingDimension) {
  LiveInstance instance;
  const double values[] = {1, 2, 99, 3, 4, 99};  // 2 x 2 inside a leading dimension of 3
  print_real_matrix("B", values, 2, 2, 3);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"B = {", "", "{1, 3}, ", "{2, 4}", "", "};"}));
}

TEST(MessagesPrinters, LongMatrixRowsAreSplitAndStayBounded) {
  LiveInstance instance;
  std::vector<double> values(200, -1.234567e-300);
  const std::string name(1000, 'M');
  print_real_matrix(name.c_str(), values.data(), 1, 200, 1);
  Lines lines = LiveInstance::lines();
  ASSERT_GT(lines.size(), 6u);
  size_t values_seen = 0;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), 299u);
    for (size_t p = line.find("E-300"); p != std::string::npos; p = line.find("E-300", p + 1))
      ++values_seen;
  }
  EXPECT_EQ(values_seen, 200u);
  EXPECT_EQ(lines.back(), "};");
}

TEST(MessagesPrinters, BadMatrixLayoutPrintsOnlyTheFrame) {
  LiveInstance instance;
  const double values[] = {1, 2};
  print_real_matrix("C", values, 2, 2, -1);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"C = {", "", "", "};"}));
}

TEST(MessagesPrinters, LongVectorLineIsCutAtItsBound) {
  LiveInstance instance;
  std::vector<double> values(1000, 123456789.0);
  print_real_vector("v", values.data(), 1000);
  Lines lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 1999u);
  EXPECT_EQ(lines[0].substr(0, 18), "v = {1.23457E+08, ");
}
