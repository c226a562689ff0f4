// Messages and model errors.
#include "source/messages.h"

#include <cassert>
#include <csetjmp>
#include <cstring>

#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"
#include "source/runtime_constants.h"
#include "source/runtime_state.h"

namespace pelvarin {

namespace {

// A row of a printed matrix goes on in a new line before a value once its
// line holds more than this.
constexpr std::size_t MATRIX_LINE_WIDTH = 200;

}  // namespace

FunctionStackEntry* function_stack = nullptr;

// Not reached in this model: only the utilities' environment lookup pushes
// and pops names.
void function_stack_push(FunctionStackEntry* entry, const char* name) {
  entry->name = name;
  entry->next = function_stack;
  function_stack = entry;
}

// Not reached in this model: only the utilities' environment lookup pushes
// and pops names.
void function_stack_pop(FunctionStackEntry* entry) { function_stack = entry->next; }

// Not reached in this model: nothing calls it.
void function_stack_clear() { function_stack = nullptr; }

void route_message_to_logger(const char* text, int isLine) {
  RuntimeTextCallback callback = active_runtime_context()->textCallback;
  if (!callback) return;
  callback(text ? text : "", isLine);
}

void emit_message_line(const char* text) { route_message_to_logger(text, 1); }

// Not reached in this model: only the formatted messages send pieces of a
// line, and nothing sends them.
void emit_message_text(const char* text) { route_message_to_logger(text, 0); }

void print_text_at_level(int, const char* text) { emit_message_line(text); }

void print_named_real(int level, const char* text, double value) {
  char line[200];
  c_sprintf(line, sizeof line, "%.160s %.16G", text ? text : "", value);
  print_text_at_level(level, line);
}

// Not reached in this model: only log_named_real calls it.
void print_named_real_info(const char* text, double value) { print_named_real(0, text, value); }

// Not reached in this model: nothing calls it.
int log_named_real(const char* text, double value) {
  print_named_real_info(text, value);
  return 0;
}

// Not reached in this model: nothing calls it.
void print_named_integer(const char* text, long value) {
  char line[200];
  c_sprintf(line, sizeof line, "%.160s %li", text ? text : "", value);
  emit_message_line(line);
}

// Not reached in this model: nothing calls it.
void print_matrix_element(const char* name, long row, long column, double value) {
  char line[250];
  c_sprintf(line, sizeof line, "  %.160s[%li, %li] = %G", name ? name : "", row, column, value);
  emit_message_line(line);
}

namespace {

// Not reached in this model: the line of the vector and matrix printers.
// A line assembled piece by piece in a caller's buffer; what does not fit
// is cut, the line stays terminated.
struct LineBuffer {
  char* text;
  std::size_t capacity;
  std::size_t length;
};

void line_start(LineBuffer* line, char* storage, std::size_t capacity) {
  line->text = storage;
  line->capacity = capacity;
  line->length = 0;
  storage[0] = '\0';
}

void line_append(LineBuffer* line, const char* piece) {
  assert(line->length < line->capacity);
  std::size_t room = line->capacity - 1 - line->length;
  std::size_t n = std::strlen(piece);
  if (n > room) n = room;
  std::memcpy(line->text + line->length, piece, n);
  line->length += n;
  line->text[line->length] = '\0';
}

void line_append_value(LineBuffer* line, double value) {
  char number[99];
  c_sprintf(number, sizeof number, "%G", value);
  line_append(line, number);
}

}  // namespace

// Not reached in this model: nothing calls it.
void print_real_vector(const char* name, const double* values, int n) {
  char storage[2000];
  LineBuffer line;
  line_start(&line, storage, sizeof storage);
  line_append(&line, name ? name : "");
  line_append(&line, " = {");
  if (values) {
    for (int i = 0; i < n; ++i) {
      if (i > 0) line_append(&line, ", ");
      line_append_value(&line, values[i]);
    }
  }
  line_append(&line, "}");
  emit_message_line(line.text);
}

// Not reached in this model: nothing calls it.
void print_real_matrix(const char* name, const double* values, int rows, int columns, int ld) {
  char storage[300];
  LineBuffer line;
  line_start(&line, storage, sizeof storage);
  line_append(&line, name ? name : "");
  line_append(&line, " = ");
  line_append(&line, "{");
  emit_message_line(line.text);
  emit_message_line("");
  // Rows are printed only for a layout that stays within the columns given;
  // rows without columns read no value.
  if (columns <= 0 || (values && ld >= rows)) {
    for (int i = 1; i <= rows; ++i) {
      line_start(&line, storage, sizeof storage);
      line_append(&line, "{");
      for (int j = 1; j <= columns; ++j) {
        if (j > 1) line_append(&line, ", ");
        if (line.length > MATRIX_LINE_WIDTH) {
          emit_message_line(line.text);
          line_start(&line, storage, sizeof storage);
        }
        line_append_value(&line, values[(i - 1) + (long long)ld * (j - 1)]);
      }
      line_append(&line, "}");
      if (i < rows) line_append(&line, ", ");
      emit_message_line(line.text);
    }
  }
  emit_message_line("");
  emit_message_line("};");
}

double report_at_time(const char* text, int level) {
  int* intOptions = runtime_int_options();
  int quiet = intOptions && (intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_QUIET);
  if (!quiet) {
    print_named_real(level, level == REPORT_WARNING ? "The following was detected at time:"
                                                    : "The following error was detected at time:",
                     current_time);
    print_text_at_level(level, text ? text : "");
    if (function_stack) {
      // Not reached in this model: only the environment lookup pushes names.
      emit_message_line("The stack of functions is:");
      while (function_stack) {
        emit_message_line(function_stack->name ? function_stack->name : "");
        function_stack = function_stack->next;
      }
    }
  }
  if (level != REPORT_WARNING) {
    // The frames that pushed the entries are abandoned by the jump.
    function_stack = nullptr;
    run_status = QIERR_ERROR;
    if (error_trap_active) longjmp(error_trap, 1);
  }
  // Not reached in this model: it raises no warning, and no error outside an
  // evaluation.
  return 0.0;
}

void raise_model_error(const char* text) { report_at_time(text, REPORT_ERROR); }

// Not reached in this model: only the sample operators and the work buffers
// assert, and it calls neither.
void check_assertion(int condition, const char* conditionText, const char* message) {
  if (condition) return;
  print_text_at_level(REPORT_ERROR, conditionText);
  raise_model_error(message);
}

// Not reached in this model: nothing calls it.
void check_assertion_level(int condition, const char* conditionText, const char* message,
                           int level) {
  if (condition) return;
  if (level == REPORT_WARNING) {
    print_text_at_level(level, conditionText);
    report_at_time(message, level);
    return;
  }
  check_assertion(condition, conditionText, message);
}

// Not reached in this model: only the errors of the text-file and directory
// utilities come here.
void report_vformat_error(const char* format, va_list args) {
  char text[4000];
  c_vsprintf(text, sizeof text, format, args);
  raise_model_error(text);
}

// Not reached in this model: nothing sends a formatted message.
void report_vformat_message(const char* format, va_list args) {
  char text[4000];
  c_vsprintf(text, sizeof text, format, args);
  emit_message_text(text);
}

}  // namespace pelvarin
