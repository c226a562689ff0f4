// String variables of the generated model and the model's small helpers.
#pragma once

#include "source/matrixop.h"

namespace pelvarin {

enum { STRING_SLOT_COUNT = 1, STRING_SLOT_LENGTH = 500 };

extern char* string_slots[STRING_SLOT_COUNT];

// Points the first slot at its storage; safe to repeat. Returns 0.
int init_string_slots();
// Copies text (NULL as "") into slot index, cut to the slot's length with a
// notice; an index outside the slots is reported and changes nothing.
void set_string_variable(const char* text, int index);
// The elements of array into the slots from start; a range outside the slots
// is reported and changes nothing.
void set_string_array(StringArray array, int start);
// The text of slot index; "" outside the slots.
const char* get_string_variable(int index);

// Reports the division of the two named operands as a model error; returns
// (0.0) only outside an evaluation.
double model_division_by_zero(const char* numeratorText, double numerator,
                              const char* denominatorText, double denominator);
// Logs a discrete variable's new value; returns 1.0.
double log_variable_change(const char* name, double value, double time);
void model_empty_function(int flag, int a, int b);

}  // namespace pelvarin
