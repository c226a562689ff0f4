#include "model/model_strings.h"

#include <cassert>

#include "source/messages.h"

namespace pelvarin {

char* string_slots[STRING_SLOT_COUNT];

static char string_slot_storage[STRING_SLOT_LENGTH];

// Not reached in this model: it declares no string variables.
int init_string_slots() {
  if (string_slots[0] == nullptr) string_slots[0] = string_slot_storage;
  return 0;
}

// Not reached in this model: it declares no string variables.
void set_string_variable(const char* text, int index) {
  init_string_slots();
  if (index < 0 || index >= STRING_SLOT_COUNT) {
    emit_message_line("Internal error in String handling.");
    return;
  }
  char* slot = string_slots[index];
  assert(slot != nullptr);
  int n = 0;
  if (text != nullptr)
    for (; n < STRING_SLOT_LENGTH - 1 && text[n] != '\0'; ++n) slot[n] = text[n];
  slot[n] = '\0';
  if (text != nullptr && text[n] != '\0') {
    emit_message_line("Truncated string variable to");
    emit_message_line(slot);
  }
}

// Not reached in this model: it declares no string variables.
void set_string_array(StringArray array, int start) {
  const int count = array_element_count(array);
  if (start < 0 || count < 0 || start > STRING_SLOT_COUNT - count) {
    emit_message_line("Internal error in String array handling.");
    return;
  }
  for (int i = 0; i < count; ++i) set_string_variable(array.data[i], start + i);
}

// Not reached in this model: it declares no string variables.
const char* get_string_variable(int index) {
  init_string_slots();
  if (index >= 0 && index < STRING_SLOT_COUNT) return string_slots[index];
  return "";
}

}  // namespace pelvarin
