// Array descriptors: index, size and sub-array routines, String arrays,
// record fields and padded formatting.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/matrixop.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

std::int32_t dims23[2] = {2, 3};
double data23[6] = {1, 2, 3, 4, 5, 6};
RealArray a23 = {2, dims23, data23};

// The message a refused call raised, "" when it was not refused.
template <typename F>
std::string refusal(F f) {
  LiveInstance::clear();
  if (!ends_in_model_error(f)) return "";
  Lines lines = LiveInstance::lines();
  return lines.empty() ? "(silent)" : lines.back();
}

}  // namespace

TEST(BuffersArrays, LinearIndexTable) {
  struct Case {
    std::int32_t s1, s2;
    std::int32_t expected;
  };
  const Case cases[] = {{1, 1, 0}, {1, 3, 2}, {2, 1, 3}, {2, 3, 5}};
  for (const Case& c : cases) {
    const std::int32_t subscripts[2] = {c.s1, c.s2};
    EXPECT_EQ(array_linear_index(2, dims23, subscripts), c.expected);
  }
  EXPECT_EQ(array_linear_index(0, nullptr, nullptr), 0);
}

TEST(BuffersArrays, SubscriptsOutOfRangeAreRefused) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  static std::int32_t subscripts[2];
  const std::int32_t bad[][2] = {{1, 0}, {1, 4}, {0, 1}, {3, 1}, {-1, 1}};
  for (const auto& b : bad) {
    subscripts[0] = b[0];
    subscripts[1] = b[1];
    EXPECT_EQ(refusal([] { array_linear_index(2, dims23, subscripts); }), "Index out of bounds");
    EXPECT_EQ(LiveInstance::lines().at(0), "(j>=1)&&(j<=dim)");
  }
}

TEST(BuffersArrays, ElementOffsetTakesOneSubscriptPerDimension) {
  LiveInstance instance;
  EXPECT_EQ(array_element_offset(a23, 1, 1), data23);
  EXPECT_EQ(array_element_offset(a23, 2, 3), data23 + 5);
  EXPECT_EQ(refusal([] { array_element_offset(a23, 2, 4); }), "Index out of bounds");
  // Extents whose product leaves 32 bits (a descriptor no buffer could back).
  static std::int32_t huge[4] = {65536, 65536, 65536, 65536};
  static RealArray a_huge = {4, huge, data23};
  EXPECT_EQ(refusal([] { array_element_offset(a_huge, 65536, 65536, 65536, 65536); }),
            "Too many array elements");
}

TEST(BuffersArrays, SizeAndCount) {
  LiveInstance instance;
  EXPECT_EQ(array_size(a23, 1), 2);
  EXPECT_EQ(array_dim_size(a23, 2), 3);
  EXPECT_EQ(refusal([] { array_size(a23, 0); }), "Size must be between 1 and ndims of array");
  EXPECT_EQ(refusal([] { array_dim_size(a23, 3); }), "Size must be between 1 and ndims of array");
  EXPECT_EQ(LiveInstance::lines().at(0), "(i>=1)&&(i<=a.ndims)");
  EXPECT_EQ(array_element_count(a23), 6);
  EXPECT_EQ(array_element_count(RealArray{0, nullptr, data23}), 1);
  static std::int32_t negative[2] = {2, -3};
  EXPECT_EQ(refusal([] { array_element_count(RealArray{2, negative, data23}); }),
            "Negative array dimension");
  static std::int32_t huge[2] = {65536, 65536};
  EXPECT_EQ(refusal([] { array_element_count(IntegerArray{2, huge, nullptr}); }),
            "Too many array elements");
}

TEST(BuffersArrays, SubarrayIsAViewInsideItsArray) {
  LiveInstance instance;
  RealArray row = real_subarray(1, 1, a23);
  EXPECT_EQ(row.ndims, 1);
  EXPECT_EQ(row.dims, dims23 + 1);
  EXPECT_EQ(row.data, data23 + 3);
  RealArray same = array_subarray(0, 0, a23);
  EXPECT_EQ(same.ndims, 2);
  EXPECT_EQ(same.data, data23);
  RealArray element = real_subarray(2, 5, a23);
  EXPECT_EQ(element.ndims, 0);
  EXPECT_EQ(element.data, data23 + 5);
  EXPECT_EQ(refusal([] { real_subarray(1, 2, a23); }), "Index out of bounds");
  EXPECT_EQ(refusal([] { real_subarray(1, -1, a23); }), "Index out of bounds");
  EXPECT_EQ(refusal([] { real_subarray(3, 0, a23); }), "Index out of bounds");
}

TEST(BuffersArrays, SizeVectors) {
  buffer_reset_all();
  std::int32_t dims[3] = {4, 5, 3};
  IntegerArray v = array_int_vector_shortened(RealArray{3, dims, nullptr});
  ASSERT_EQ(v.ndims, 1);
  EXPECT_EQ(v.dims[0], 2);
  EXPECT_EQ(v.data[0], 4);
  EXPECT_EQ(v.data[1], 5);
  EXPECT_EQ(v.dims, Sizebuffer);
  EXPECT_EQ(v.data, Integerbuffer);
  IntegerArray w = integer_vector_from(3, dims);
  EXPECT_EQ(w.dims[0], 3);
  EXPECT_EQ(std::vector<std::int32_t>(w.data, w.data + 3), (std::vector<std::int32_t>{4, 5, 3}));
  RealArray d = size_descriptor_from(2, dims);
  EXPECT_EQ(d.ndims, 2);
  EXPECT_EQ(d.dims[1], 5);
  EXPECT_EQ(d.data, nullptr);
}

TEST(BuffersArrays, ShortenedSizeOfAScalarIsRefused) {
  LiveInstance instance;
  EXPECT_EQ(refusal([] { array_int_vector_shortened(StringArray{0, nullptr, nullptr}); }),
            "Size must be between 1 and ndims of array");
}

TEST(BuffersArrays, StringArraysShareTheFilledText) {
  buffer_reset_all();
  StringArray a = string_array_dims(2, 2, 3);
  ASSERT_EQ(a.ndims, 2);
  EXPECT_EQ(a.dims[0], 2);
  EXPECT_EQ(a.dims[1], 3);
  EXPECT_EQ(currentMark.place.Stringbuffer - Stringbuffer, 6);
  const char* empty = "";
  string_array_fill(a, empty);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(a.data[k], empty);
  std::int32_t dims[1] = {4};
  StringArray b = string_array_from_dims(1, dims);
  EXPECT_EQ(b.data, a.data + 6);
  EXPECT_EQ(b.dims[0], 4);
}

TEST(BuffersArrays, NegativeExtentsOfStringArraysAreRefused) {
  LiveInstance instance;
  EXPECT_EQ(refusal([] { string_array_dims(1, -4); }), "Negative array dimension");
  EXPECT_EQ(refusal([] { string_array_dims(-1); }),
            "Negative number of elements requested from 'Sizebuffer'");
}

namespace {

// Two records of three 8-byte slots: a Real, an Integer and a String.
struct Record {
  double real;
  std::int32_t integer;
  std::int32_t pad;
  const char* text;
};
static_assert(sizeof(Record) == 3 * RECORD_SLOT_BYTES, "three slots");

Record records[2] = {{1.5, 7, 0, "first"}, {2.5, 8, 0, "second"}};
std::int32_t record_dims[2] = {2, 3};
RealArray record_array = {2, record_dims, reinterpret_cast<double*>(records)};

}  // namespace

TEST(BuffersArrays, GatherScalarFields) {
  buffer_reset_all();
  RealArray reals = gather_record_field_reals(record_array, 0);
  ASSERT_EQ(reals.ndims, 1);
  EXPECT_EQ(reals.dims[0], 2);
  EXPECT_EQ(reals.data[0], 1.5);
  EXPECT_EQ(reals.data[1], 2.5);
  IntegerArray integers = gather_record_field_integers(record_array, 8);
  EXPECT_EQ(integers.data[0], 7);
  EXPECT_EQ(integers.data[1], 8);
  StringArray texts = gather_record_field_strings(record_array, 16);
  EXPECT_STREQ(texts.data[0], "first");
  EXPECT_STREQ(texts.data[1], "second");
  EXPECT_EQ(texts.data[1], records[1].text);  // pointers, not copies
}

TEST(BuffersArrays, GatherSlotOneOfEachRecord) {
  buffer_reset_all();
  double slots[6] = {0, 11, 0, 0, 22, 0};
  std::int32_t dims[2] = {2, 3};
  RealArray r = gather_record_field_reals(RealArray{2, dims, slots}, 8);
  ASSERT_EQ(r.ndims, 1);
  EXPECT_EQ(r.data[0], 11);
  EXPECT_EQ(r.data[1], 22);
}

TEST(BuffersArrays, FieldsOutsideTheRecordAreRefused) {
  LiveInstance instance;
  EXPECT_EQ(refusal([] { gather_record_field_reals(record_array, 24); }), "Index out of bounds");
  EXPECT_EQ(refusal([] { gather_record_field_strings(record_array, 20); }), "Index out of bounds");
  EXPECT_EQ(refusal([] { gather_record_field_integers(record_array, -4); }), "Index out of bounds");
  // A record of no slots: nothing to read and nothing to divide by.
  static std::int32_t no_slots[2] = {2, 0};
  EXPECT_EQ(refusal([] { concat_record_field_real_arrays(RealArray{2, no_slots, nullptr}, 0); }),
            "Index out of bounds");
  EXPECT_EQ(refusal([] { gather_record_field_reals(RealArray{0, nullptr, nullptr}, 0); }),
            "Size must be between 1 and ndims of array");
}

namespace {

// Records of one array-valued field: a descriptor of three slots.
static_assert(sizeof(RealArray) == 3 * RECORD_SLOT_BYTES, "descriptor of three slots");
std::int32_t field_dims[1] = {2};
double field0[2] = {1, 2};
double field1[2] = {3, 4};
RealArray fields[2] = {{1, field_dims, field0}, {1, field_dims, field1}};
std::int32_t fields_dims[2] = {2, 3};
RealArray field_records = {2, fields_dims, reinterpret_cast<double*>(fields)};

}  // namespace

TEST(BuffersArrays, ConcatenateArrayFields) {
  buffer_reset_all();
  RealArray r = concat_record_field_real_arrays(field_records, 0);
  ASSERT_EQ(r.ndims, 2);
  EXPECT_EQ(r.dims[0], 2);
  EXPECT_EQ(r.dims[1], 2);
  EXPECT_EQ(std::vector<double>(r.data, r.data + 4), (std::vector<double>{1, 2, 3, 4}));

  std::int32_t ints0[2] = {5, 6}, ints1[2] = {7, 8};
  IntegerArray ifields[2] = {{1, field_dims, ints0}, {1, field_dims, ints1}};
  IntegerArray ir = concat_record_field_integer_arrays(
      RealArray{2, fields_dims, reinterpret_cast<double*>(ifields)}, 0);
  EXPECT_EQ(std::vector<std::int32_t>(ir.data, ir.data + 4), (std::vector<std::int32_t>{5, 6, 7, 8}));

  const char* s0[2] = {"a", "b"};
  const char* s1[2] = {"c", "d"};
  StringArray sfields[2] = {{1, field_dims, s0}, {1, field_dims, s1}};
  StringArray sr = concat_record_field_string_arrays(
      RealArray{2, fields_dims, reinterpret_cast<double*>(sfields)}, 0);
  EXPECT_EQ(sr.data[3], s1[1]);
}

TEST(BuffersArrays, ConcatenationRefusesAShorterLaterField) {
  LiveInstance instance;
  static std::int32_t one[1] = {1};
  fields[1].dims = one;
  EXPECT_EQ(refusal([] { concat_record_field_real_arrays(field_records, 0); }),
            "Index out of bounds");
  fields[1].dims = field_dims;
}

namespace {

// A field descriptor claiming the largest dimension count: added to the
// record array's own count it would leave 32 bits.
RealArray huge_count_fields[2] = {{INT32_MAX, field_dims, field0}, {1, field_dims, field1}};
RealArray huge_count_records = {2, fields_dims, reinterpret_cast<double*>(huge_count_fields)};

}  // namespace

TEST(BuffersArrays, ConcatenationRefusesAHugeDimensionCountBeforeAddingIt) {
  LiveInstance instance;
  EXPECT_EQ(refusal([] { concat_record_field_real_arrays(huge_count_records, 0); }),
            "Too many array dimensions");
  EXPECT_EQ(LiveInstance::lines().at(0), "ndims<=INT_MAX");
}

TEST(BuffersArrays, ARefusedConcatenationOutsideAnEvaluationIsEmpty) {
  // Outside an evaluation a refusal returns to the caller, which must not
  // get extents whose elements were never filled.
  LiveInstance instance;
  static std::int32_t one[1] = {1};
  struct Case {
    const char* name;
    RealArray (*call)();
  } cases[] = {
      {"a shorter later field",
       [] {
         fields[1].dims = one;
         RealArray r = concat_record_field_real_arrays(field_records, 0);
         fields[1].dims = field_dims;
         return r;
       }},
      {"a huge dimension count",
       [] { return concat_record_field_real_arrays(huge_count_records, 0); }},
  };
  for (const Case& c : cases) {
    buffer_reset_all();
    LiveInstance::clear();
    RealArray r = c.call();
    EXPECT_FALSE(LiveInstance::lines().empty()) << c.name << ": refused";
    EXPECT_EQ(r.ndims, 0) << c.name;
    EXPECT_EQ(r.dims, nullptr) << c.name;
    EXPECT_EQ(r.data, nullptr) << c.name;
  }
}

TEST(BuffersArrays, PaddedFormattingTable) {
  buffer_reset_all();
  const char* texts[1] = {"ab"};
  std::int32_t dims[1] = {1};
  StringArray a = {1, dims, texts};
  struct Case {
    int left;
    int width;
    std::string expected;
  };
  const Case cases[] = {
      {1, 4, "ab  "}, {0, 4, "  ab"}, {1, 1, "ab"}, {0, 2, "ab"}, {0, -5, "ab"},
      {1, 300, "ab" + std::string(298, ' ')}, {0, 300, std::string(298, ' ') + "ab"},
  };
  for (const Case& c : cases) {
    char* s = format_string_padded(1, c.left, c.width, a);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::string(s), c.expected);
    EXPECT_GE(s, simplestring);
    EXPECT_LT(s, Endsimplestring);
  }
}

TEST(BuffersArrays, PaddedFormattingChecksTheElementAndTheRoom) {
  LiveInstance instance;
  static const char* texts[1] = {"ab"};
  static std::int32_t dims[1] = {1};
  EXPECT_EQ(refusal([] { format_string_padded(2, 1, 4, StringArray{1, dims, texts}); }),
            "Index out of bounds");
  EXPECT_EQ(refusal([] { format_string_padded(1, 1, SIMPLESTRING_SIZE, StringArray{1, dims, texts}); }),
            "Room to allocate string");
  EXPECT_EQ(refusal([] { format_string_padded(1, 0, 0x7fffffff, StringArray{1, dims, texts}); }),
            "Room to allocate string");
}
