// String variables of the generated model and the model's small helpers.
#pragma once

#include "source/matrixop.h"

namespace pelvarin {

enum { STRING_SLOT_COUNT = 1, STRING_SLOT_LENGTH = 500 };

extern char* string_slots[STRING_SLOT_COUNT];

int init_string_slots();
void set_string_variable(const char* text, int index);
void set_string_array(StringArray array, int start);
const char* get_string_variable(int index);

double model_division_by_zero(const char* numeratorText, double numerator,
                              const char* denominatorText, double denominator);
double log_variable_change(const char* name, double value, double time);
void model_empty_function(int flag, int a, int b);

}  // namespace pelvarin
