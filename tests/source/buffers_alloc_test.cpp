// Work-buffer allocation: boundaries per area, sticky overflow, marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/matrixop.h"
#include "source/messages.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

// One work buffer as the tests see it.
struct Area {
  const char* name;
  int capacity;
  const void* (*take)(int n);
  long (*used)();
  const char* condition;
  const char* message;
};

const Area kAreas[] = {
    {"Realbuffer", REALBUFFER_SIZE, [](int n) -> const void* { return alloc_reals(n); },
     [] { return (long)(currentMark.place.Realbuffer - Realbuffer); },
     "currentMark.place.Realbuffer<EndRealbuffer",
     "Out of memory for reals\nIt could due to too large matrices, infinite recursion, or "
     "uninitialized variables.\nYou can increase the size of 'Realbuffer' in "
     "ostrane/source/matrixop."},
    {"Integerbuffer", INTEGERBUFFER_SIZE, [](int n) -> const void* { return alloc_integers(n); },
     [] { return (long)(currentMark.place.Integerbuffer - Integerbuffer); },
     "currentMark.place.Integerbuffer<EndIntegerbuffer",
     "Out of memory for integers\nIt could due to too large matrices, infinite recursion, or "
     "uninitialized variables.\nYou can increase the size of 'Integerbuffer' in "
     "ostrane/source/matrixop."},
    {"Sizebuffer", SIZEBUFFER_SIZE, [](int n) -> const void* { return alloc_sizes(n); },
     [] { return (long)(currentMark.place.Sizebuffer - Sizebuffer); },
     "currentMark.place.Sizebuffer<EndSizebuffer",
     "Out of memory for array dimensions\nIt could due to too many matrices, infinite "
     "recursion, or uninitialized variables.\nYou can increase the size of 'Sizebuffer' in "
     "ostrane/source/matrixop."},
    {"Stringbuffer", STRINGBUFFER_SIZE, [](int n) -> const void* { return alloc_strings(n); },
     [] { return (long)(currentMark.place.Stringbuffer - Stringbuffer); },
     "currentMark.place.Stringbuffer<EndStringbuffer",
     "Out of memory for strings\nIt could due to too large matrices, infinite recursion, or "
     "uninitialized variables.\nYou can increase the size of 'Stringbuffer' in "
     "ostrane/source/matrixop."},
};

const Area* g_area;
int g_count;
const void* g_result;

bool take_traps(const Area& area, int n) {
  g_area = &area;
  g_count = n;
  g_result = nullptr;
  return ends_in_model_error([] { g_result = g_area->take(g_count); });
}

}  // namespace

TEST(BuffersAlloc, EachAreaHoldsOneElementLessThanItsCapacity) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 0;
  for (const Area& area : kAreas) {
    buffer_reset_all();
    LiveInstance::clear();
    ASSERT_FALSE(take_traps(area, area.capacity - 2)) << area.name;
    EXPECT_EQ(area.used(), area.capacity - 2);
    // The last element that fits.
    ASSERT_FALSE(take_traps(area, 1)) << area.name;
    EXPECT_EQ(area.used(), area.capacity - 1);
    // The first that does not.
    EXPECT_TRUE(take_traps(area, 1)) << area.name;
    EXPECT_EQ(LiveInstance::lines(),
              (Lines{area.condition, "The following error was detected at time: 0", area.message}))
        << area.name;
    // Sticky: even an empty request fails until the areas are reset.
    EXPECT_TRUE(take_traps(area, 0)) << area.name;
    buffer_reset_all();
    EXPECT_FALSE(take_traps(area, 1)) << area.name;
    EXPECT_EQ(area.used(), 1);
  }
}

TEST(BuffersAlloc, AnOversizedRequestIsRefusedAtOnce) {
  for (const Area& area : kAreas) {
    buffer_reset_all();
    EXPECT_TRUE(take_traps(area, area.capacity)) << area.name;
    EXPECT_TRUE(take_traps(area, 0x7fffffff)) << area.name;
  }
}

TEST(BuffersAlloc, NegativeCountsAreRefusedAndMoveNothing) {
  LiveInstance instance;
  for (const Area& area : kAreas) {
    buffer_reset_all();
    ASSERT_FALSE(take_traps(area, 5));
    LiveInstance::clear();
    EXPECT_TRUE(take_traps(area, -1)) << area.name;
    EXPECT_TRUE(take_traps(area, -0x7fffffff - 1)) << area.name;
    EXPECT_EQ(area.used(), 5) << area.name;
    EXPECT_EQ(LiveInstance::lines().at(0), "n>=0");
    EXPECT_FALSE(take_traps(area, 1)) << area.name;  // not sticky
  }
  char* before = stringmark;
  EXPECT_TRUE(ends_in_model_error([] { alloc_simple_string(-2); }));
  EXPECT_EQ(stringmark, before);
  EXPECT_EQ(try_alloc_empty_string(-2), nullptr);
  EXPECT_EQ(stringmark, before);
}

TEST(BuffersAlloc, EmptyRequestReturnsTheFillPointerAndTakesNothing) {
  buffer_reset_all();
  alloc_reals(3);
  double* fill = currentMark.place.Realbuffer;
  EXPECT_EQ(alloc_reals(0), fill);
  EXPECT_EQ(currentMark.place.Realbuffer, fill);
  EXPECT_EQ(alloc_reals(2), fill);
}

TEST(BuffersAlloc, SimpleStringBoundaryAndNoStickyFailure) {
  LiveInstance instance;
  current_time = 0;
  buffer_reset_all();
  // 99,998 bytes in use: one more byte (an empty string) still fits.
  ASSERT_NE(alloc_simple_string(99997), nullptr);
  char* s = alloc_empty_string(0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s[0], '\0');
  EXPECT_EQ(stringmark - simplestring, 99999);
  // 99,999 in use: nothing more fits, and try_alloc says so without a word.
  LiveInstance::clear();
  EXPECT_EQ(try_alloc_empty_string(0), nullptr);
  EXPECT_TRUE(LiveInstance::lines().empty());
  char* before = stringmark;
  EXPECT_TRUE(ends_in_model_error([] { alloc_empty_string(0); }));
  EXPECT_EQ(stringmark, before);
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"stringmark+len+1<Endsimplestring", "The following error was detected at time: 0",
                   "Room to allocate string"}));
  buffer_reset_all();
  // A refused request leaves room for smaller ones.
  ASSERT_NE(alloc_simple_string(50000), nullptr);
  EXPECT_TRUE(ends_in_model_error([] { alloc_simple_string(50000); }));
  EXPECT_EQ(try_alloc_empty_string(50000), nullptr);
  EXPECT_NE(try_alloc_empty_string(49997), nullptr);
  EXPECT_EQ(stringmark - simplestring, 100000 - 1);
}

TEST(BuffersAlloc, MarksRestoreFillPointersAndFrameStartExactly) {
  buffer_reset_all();
  alloc_reals(2);
  alloc_strings(1);
  char* kept = alloc_simple_string(3);
  WorkMark outer = buffer_push_mark();
  EXPECT_EQ(outer.frameStart.Realbuffer, Realbuffer);
  EXPECT_EQ(currentMark.frameStart.Realbuffer, Realbuffer + 2);
  double* result = alloc_reals(4);
  WorkMark inner = buffer_push_mark();
  alloc_reals(10);
  alloc_integers(7);
  alloc_sizes(3);
  alloc_strings(2);
  char* text = alloc_simple_string(5);
  buffer_pop_mark(inner);
  EXPECT_EQ(currentMark.place.Realbuffer, result + 4);
  EXPECT_EQ(currentMark.place.Integerbuffer, Integerbuffer);
  EXPECT_EQ(currentMark.place.Sizebuffer, Sizebuffer);
  EXPECT_EQ(currentMark.place.Stringbuffer, Stringbuffer + 1);
  EXPECT_EQ(currentMark.frameStart.Realbuffer, Realbuffer + 2);
  // Marks never touch the simple-string area.
  EXPECT_EQ(stringmark, text + 6);
  buffer_pop_mark(outer);
  EXPECT_EQ(currentMark.place.Realbuffer, Realbuffer + 2);
  EXPECT_EQ(currentMark.frameStart.Realbuffer, Realbuffer);
  EXPECT_EQ(stringmark, kept + 4 + 6);
  buffer_reset_all();
  EXPECT_EQ(stringmark, simplestring);
  EXPECT_EQ(currentMark.place.Stringbuffer, Stringbuffer);
  EXPECT_EQ(currentMark.frameStart.Sizebuffer, Sizebuffer);
}

TEST(BuffersAlloc, OutsideAnEvaluationARefusalReturnsNull) {
  buffer_reset_all();
  error_trap_active = 0;
  EXPECT_EQ(alloc_reals(REALBUFFER_SIZE), nullptr);
  EXPECT_EQ(alloc_reals(0), nullptr);  // still sticky
  EXPECT_EQ(alloc_simple_string(SIMPLESTRING_SIZE), nullptr);
  EXPECT_EQ(alloc_empty_string(SIMPLESTRING_SIZE), nullptr);
}
