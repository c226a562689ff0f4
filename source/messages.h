// Messages and model errors: the route of the runtime's texts to the host's
// logger, the small printers, the model-error report and the assertions.
#pragma once

#include <cstdarg>

namespace pelvarin {

// One entry of the stack of runtime function names shown in error reports.
// An entry lives in the frame of the routine that pushed it.
struct FunctionStackEntry {
  const char* name;
  FunctionStackEntry* next;
};

// Head of the stack; NULL when empty.
extern FunctionStackEntry* function_stack;

// Push on entry, pop on a normal return; an error exit empties the stack.
void function_stack_push(FunctionStackEntry* entry, const char* name);
void function_stack_pop(FunctionStackEntry* entry);
void function_stack_clear();

// Report levels.
enum { REPORT_WARNING = 1, REPORT_ERROR = 2 };

// Hand text (NULL as "") to the active context's text callback, as a whole
// line or as a piece of one; without a callback the text is dropped.
void emit_message_line(const char* text);
void emit_message_text(const char* text);
void route_message_to_logger(const char* text, int isLine);

// The printers each emit whole lines; a name or text before a value (NULL
// as "") is cut at 160 characters, so a line always fits its buffer.
// "text value" with value as %.16G.
void print_named_real(int level, const char* text, double value);
void print_text_at_level(int level, const char* text);
void print_named_real_info(const char* text, double value);
// The same; returns 0.
int log_named_real(const char* text, double value);
void print_named_integer(const char* text, long value);
void print_matrix_element(const char* name, long row, long column, double value);
// "name = {v1, v2, ...}" on one line, cut at 1999 characters; values may be
// NULL (no elements).
void print_real_vector(const char* name, const double* values, int n);
// The rows of a column-major matrix with leading dimension ld, between an
// opening and a closing line; long rows are broken. The rows are printed
// only when values is given and ld >= rows (or there are no columns).
void print_real_matrix(const char* name, const double* values, int rows, int columns, int ld);

// Level 1 reports and returns 0.0; any other level reports and leaves the
// evaluation through the error trap. Outside an evaluation there is no trap
// to return to: the report is made and the call returns (0.0), so callers
// must survive that.
double report_at_time(const char* text, int level);
void raise_model_error(const char* text);

// Nothing when condition holds; else conditionText as a line and message
// as a model error (at REPORT_WARNING for the level form: reported, and the
// call returns).
void check_assertion(int condition, const char* conditionText, const char* message);
void check_assertion_level(int condition, const char* conditionText, const char* message,
                           int level);

// Format (cut at 3999 characters) and raise as a model error, or hand on as
// a piece of a message line.
void report_vformat_error(const char* format, va_list args);
void report_vformat_message(const char* format, va_list args);

}  // namespace pelvarin
