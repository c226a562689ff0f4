// Work buffers and array descriptors.
#include <cassert>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "source/matrixop.h"
#include "source/messages.h"

namespace pelvarin {

double Realbuffer[REALBUFFER_SIZE];
std::int32_t Integerbuffer[INTEGERBUFFER_SIZE];
std::int32_t Sizebuffer[SIZEBUFFER_SIZE];
const char* Stringbuffer[STRINGBUFFER_SIZE];
char simplestring[SIMPLESTRING_SIZE];

double* const EndRealbuffer = Realbuffer + REALBUFFER_SIZE;
std::int32_t* const EndIntegerbuffer = Integerbuffer + INTEGERBUFFER_SIZE;
std::int32_t* const EndSizebuffer = Sizebuffer + SIZEBUFFER_SIZE;
const char** const EndStringbuffer = Stringbuffer + STRINGBUFFER_SIZE;
char* const Endsimplestring = simplestring + SIMPLESTRING_SIZE;

const WorkMark initialMark = {{Realbuffer, Integerbuffer, Sizebuffer, Stringbuffer},
                              {Realbuffer, Integerbuffer, Sizebuffer, Stringbuffer}};
WorkMark currentMark = {{Realbuffer, Integerbuffer, Sizebuffer, Stringbuffer},
                        {Realbuffer, Integerbuffer, Sizebuffer, Stringbuffer}};
char* stringmark = simplestring;

// Not reached in this model: the helpers of the allocations and the array
// operations below.
namespace {

// A refused request raises a model error. Only outside an evaluation does
// that return (there is no trap to jump to); the callers then give back a
// NULL or empty result.
bool require(bool condition, const char* conditionText, const char* message) {
  if (!condition) check_assertion(0, conditionText, message);
  return condition;
}

// What a work buffer's refusals report: a negative count, and a request
// beyond its room (the condition that failed and the message).
struct BufferTexts {
  const char* negativeMessage;
  const char* conditionText;
  const char* fullMessage;
};

// The texts of the buffer named name (a string literal), whose elements are
// what, and which too large or too many matrices (problem) fill.
#define PELVARIN_BUFFER_TEXTS(name, what, problem)                                              \
  {"Negative number of elements requested from '" name "'",                                     \
   "currentMark.place." name "<End" name,                                                       \
   "Out of memory for " what "\nIt could due to too " problem " matrices, infinite recursion, " \
   "or uninitialized variables.\nYou can increase the size of '" name                           \
   "' in ostrane/source/matrixop."}

// Takes n elements of one buffer. The room is compared as a count, so no
// pointer is ever formed beyond the end; an overflow parks the fill pointer
// at the end, which refuses every later request until a reset.
// Needs: fill within [its buffer, end]. Returns the n elements, or NULL
// after a refusal (which returns only outside an evaluation).
template <typename T>
T* take(T*& fill, T* end, int n, const BufferTexts& texts) {
  assert(fill <= end);
  if (!require(n >= 0, "n>=0", texts.negativeMessage)) return nullptr;
  T* p = fill;
  if ((long long)n >= (long long)(end - fill)) {
    fill = end;
    check_assertion(0, texts.conditionText, texts.fullMessage);
    return nullptr;
  }
  fill += n;
  return p;
}

bool index_in_range(bool condition) {
  return require(condition, "(j>=1)&&(j<=dim)", "Index out of bounds");
}

// Product of extents into *count; negative extents and counts beyond 32
// bits are refused (false).
bool checked_extent_product(int ndims, const std::int32_t* dims, std::int32_t* count) {
  long long product = 1;
  for (int j = 0; j < ndims; ++j) {
    if (!require(dims[j] >= 0, "dims[j]>=0", "Negative array dimension")) return false;
    product *= dims[j];
    if (!require(product <= INT32_MAX, "count<=INT_MAX", "Too many array elements")) return false;
  }
  *count = (std::int32_t)product;
  return true;
}

// The same with 0 for a refused product.
std::int32_t extent_product(int ndims, const std::int32_t* dims) {
  std::int32_t count = 0;
  return checked_extent_product(ndims, dims, &count) ? count : 0;
}

bool ndims_valid(int ndims) {
  return require(ndims >= 0, "ndims>=0", "Negative number of array dimensions");
}

bool dimension_in_range(int i, int ndims) {
  return require(i >= 1 && i <= ndims, "(i>=1)&&(i<=a.ndims)",
                 "Size must be between 1 and ndims of array");
}

std::int32_t size_of(int ndims, const std::int32_t* dims, int i) {
  return dimension_in_range(i, ndims) ? dims[i - 1] : 0;
}

template <typename Descriptor>
Descriptor empty_descriptor() {
  Descriptor d;
  d.ndims = 0;
  d.dims = nullptr;
  d.data = nullptr;
  return d;
}

IntegerArray shortened_size_vector(int ndims, std::int32_t* dims) {
  // The size of an array of records: every extent but the slot count.
  if (!dimension_in_range(1, ndims)) return empty_descriptor<IntegerArray>();
  IntegerArray v = integer_vector_from(ndims, dims);
  if (v.dims) v.dims[0] -= 1;
  return v;
}

// Shape of a record array: the number of records and the bytes of one record.
struct RecordLayout {
  bool valid;
  std::int32_t records;
  long long recordBytes;
};

RecordLayout record_layout(RealArray a, int off, long long fieldBytes) {
  RecordLayout layout = {false, 0, 0};
  if (!dimension_in_range(1, a.ndims)) return layout;
  std::int32_t slots = 0;
  if (!checked_extent_product(a.ndims - 1, a.dims, &layout.records) ||
      !checked_extent_product(1, a.dims + a.ndims - 1, &slots))
    return layout;
  layout.recordBytes = (long long)slots * RECORD_SLOT_BYTES;
  // The field must lie inside the record; a record of no slots has none.
  layout.valid = index_in_range(off >= 0 && (long long)off + fieldBytes <= layout.recordBytes);
  return layout;
}

const unsigned char* record_field(RealArray a, RecordLayout layout, long long k, int off) {
  return reinterpret_cast<const unsigned char*>(a.data) + k * layout.recordBytes + off;
}

template <typename T>
T read_field(const unsigned char* address) {
  T value;
  std::memcpy(&value, address, sizeof value);
  return value;
}

// Extents of the result of a gather: the first ndims - 1 extents of a.
std::int32_t* copy_leading_extents(RealArray a) {
  std::int32_t* dims = alloc_sizes(a.ndims - 1);
  if (dims)
    for (int j = 0; j < a.ndims - 1; ++j) dims[j] = a.dims[j];
  return dims;
}

// Shape of a concatenation: a's leading extents and then the field's.
template <typename Descriptor>
std::int32_t* concat_extents(RealArray a, RecordLayout layout, int off, Descriptor* first,
                             int* ndims) {
  if (layout.records == 0) {
    // No record to take the field's shape from: an empty array of a's shape.
    first->ndims = 0;
    first->dims = nullptr;
  } else {
    *first = read_field<Descriptor>(record_field(a, layout, 0, off));
    // The sum of the two counts is checked before it is formed.
    if (!ndims_valid(first->ndims) ||
        !require((long long)a.ndims - 1 + first->ndims <= INT32_MAX, "ndims<=INT_MAX",
                 "Too many array dimensions")) {
      *ndims = 0;
      return nullptr;
    }
  }
  *ndims = a.ndims - 1 + first->ndims;
  std::int32_t* dims = alloc_sizes(*ndims);
  if (!dims) return nullptr;
  for (int j = 0; j < a.ndims - 1; ++j) dims[j] = a.dims[j];
  for (int j = 0; j < first->ndims; ++j) dims[a.ndims - 1 + j] = first->dims[j];
  return dims;
}

// False when a record's field is refused.
template <typename Descriptor, typename Element>
bool concat_elements(RealArray a, RecordLayout layout, int off, std::int32_t q, Element* out) {
  for (long long k = 0; k < layout.records; ++k) {
    Descriptor f = read_field<Descriptor>(record_field(a, layout, k, off));
    // Every record's field must hold at least the elements of record 0's.
    std::int32_t count = 0;
    if (!ndims_valid(f.ndims) || !checked_extent_product(f.ndims, f.dims, &count) ||
        !index_in_range(count >= q))
      return false;
    if (q > 0) std::memcpy(out + k * q, f.data, sizeof(Element) * (std::size_t)q);
  }
  return true;
}

// Shared body of the three concatenations. Any refusal (it returns only
// outside an evaluation) gives the empty descriptor, never one whose
// elements were not all filled.
template <typename Descriptor, typename Element>
Descriptor concat_field(RealArray a, int off, Element* (*take_elements)(int)) {
  Descriptor r = empty_descriptor<Descriptor>();
  RecordLayout layout = record_layout(a, off, sizeof(Descriptor));
  if (!layout.valid) return r;
  Descriptor first;
  r.dims = concat_extents(a, layout, off, &first, &r.ndims);
  std::int32_t q = 0, total = 0;
  if (!r.dims || !checked_extent_product(first.ndims, first.dims, &q) ||
      !checked_extent_product(r.ndims, r.dims, &total))
    return empty_descriptor<Descriptor>();
  r.data = take_elements(total);
  if (!r.data || !concat_elements<Descriptor>(a, layout, off, q, r.data))
    return empty_descriptor<Descriptor>();
  return r;
}

// Shared body of the three gathers.
template <typename Descriptor, typename Element>
Descriptor gather_field(RealArray a, int off, Element* (*take_elements)(int)) {
  Descriptor r = empty_descriptor<Descriptor>();
  RecordLayout layout = record_layout(a, off, sizeof(Element));
  if (!layout.valid) return r;
  r.ndims = a.ndims - 1;
  r.dims = copy_leading_extents(a);
  r.data = take_elements(layout.records);
  if (!r.dims || !r.data) return empty_descriptor<Descriptor>();
  for (long long k = 0; k < layout.records; ++k)
    r.data[k] = read_field<Element>(record_field(a, layout, k, off));
  return r;
}

}  // namespace

// Not reached in this model: the allocations, which neither the model nor
// anything it reaches makes.
double* alloc_reals(int n) {
  static const BufferTexts texts = PELVARIN_BUFFER_TEXTS("Realbuffer", "reals", "large");
  return take(currentMark.place.Realbuffer, EndRealbuffer, n, texts);
}

std::int32_t* alloc_integers(int n) {
  static const BufferTexts texts = PELVARIN_BUFFER_TEXTS("Integerbuffer", "integers", "large");
  return take(currentMark.place.Integerbuffer, EndIntegerbuffer, n, texts);
}

std::int32_t* alloc_sizes(int n) {
  static const BufferTexts texts = PELVARIN_BUFFER_TEXTS("Sizebuffer", "array dimensions", "many");
  return take(currentMark.place.Sizebuffer, EndSizebuffer, n, texts);
}

const char** alloc_strings(int n) {
  static const BufferTexts texts = PELVARIN_BUFFER_TEXTS("Stringbuffer", "strings", "large");
  return take(currentMark.place.Stringbuffer, EndStringbuffer, n, texts);
}

#undef PELVARIN_BUFFER_TEXTS

namespace {

bool simple_string_fits(int len) {
  return (long long)len + 1 < (long long)(Endsimplestring - stringmark);
}

}  // namespace

char* alloc_simple_string(int len) {
  assert(stringmark >= simplestring && stringmark <= Endsimplestring);
  if (!require(len >= 0, "len>=0", "Negative string length")) return nullptr;
  if (!require(simple_string_fits(len), "stringmark+len+1<Endsimplestring",
               "Room to allocate string"))
    return nullptr;
  char* p = stringmark;
  stringmark += (long long)len + 1;
  return p;
}

char* alloc_empty_string(int len) {
  char* s = alloc_simple_string(len);
  if (s) s[0] = '\0';
  return s;
}

char* try_alloc_empty_string(int len) {
  if (len < 0 || !simple_string_fits(len)) return nullptr;
  return alloc_empty_string(len);
}

// Not reached in this model: the marks, taken only by the directory listing
// of the utilities.
WorkMark buffer_push_mark() {
  WorkMark mark = currentMark;
  currentMark.frameStart = currentMark.place;
  return mark;
}

namespace {

// Each fill pointer of the place lies within its own buffer.
[[maybe_unused]] bool place_within_buffers(const WorkBufferPlaces& place) {
  return place.Realbuffer >= Realbuffer && place.Realbuffer <= EndRealbuffer &&
         place.Integerbuffer >= Integerbuffer && place.Integerbuffer <= EndIntegerbuffer &&
         place.Sizebuffer >= Sizebuffer && place.Sizebuffer <= EndSizebuffer &&
         place.Stringbuffer >= Stringbuffer && place.Stringbuffer <= EndStringbuffer;
}

}  // namespace

void buffer_pop_mark(WorkMark mark) {
  assert(place_within_buffers(mark.place) && place_within_buffers(mark.frameStart));
  currentMark = mark;
}

void buffer_reset_all() {
  currentMark = initialMark;
  stringmark = simplestring;
}

// Not reached in this model: the array, record and formatting operations, to
// the end of the file; the model builds no arrays, and its string routines,
// which count one, are not reached either.
std::int32_t array_linear_index(int ndims, const std::int32_t* dims,
                                const std::int32_t* subscripts) {
  long long r = 0;
  for (int j = 0; j < ndims; ++j) {
    std::int32_t s = subscripts[j];
    std::int32_t d = dims[j];
    if (!index_in_range(s >= 1 && s <= d)) return 0;
    r = r * d + (s - 1);
    // Only extents that multiply beyond 32 bits get here.
    if (!require(r <= INT32_MAX, "count<=INT_MAX", "Too many array elements")) return 0;
  }
  return (std::int32_t)r;
}

double* array_element_offset(RealArray a, ...) {
  if (!ndims_valid(a.ndims)) return nullptr;
  va_list args;
  va_start(args, a);
  long long r = 0;
  bool inside = true;
  bool fits = true;
  for (int j = 0; j < a.ndims && inside && fits; ++j) {
    int s = va_arg(args, int);
    std::int32_t d = a.dims[j];
    inside = s >= 1 && s <= d;
    if (inside) {
      r = r * d + (s - 1);
      fits = r <= INT32_MAX;
    }
  }
  va_end(args);
  if (!index_in_range(inside)) return nullptr;
  // As for the linear index: only extents that multiply beyond 32 bits get here.
  if (!require(fits, "count<=INT_MAX", "Too many array elements") || !a.data) return nullptr;
  return a.data + r;
}

std::int32_t array_size(RealArray a, int i) { return size_of(a.ndims, a.dims, i); }
std::int32_t array_size(IntegerArray a, int i) { return size_of(a.ndims, a.dims, i); }
std::int32_t array_size(StringArray a, int i) { return size_of(a.ndims, a.dims, i); }
std::int32_t array_dim_size(RealArray a, int i) { return array_size(a, i); }
std::int32_t array_dim_size(IntegerArray a, int i) { return array_size(a, i); }
std::int32_t array_dim_size(StringArray a, int i) { return array_size(a, i); }

std::int32_t array_element_count(RealArray a) {
  return ndims_valid(a.ndims) ? extent_product(a.ndims, a.dims) : 0;
}
std::int32_t array_element_count(IntegerArray a) {
  return ndims_valid(a.ndims) ? extent_product(a.ndims, a.dims) : 0;
}
std::int32_t array_element_count(StringArray a) {
  return ndims_valid(a.ndims) ? extent_product(a.ndims, a.dims) : 0;
}

RealArray real_subarray(int k, int i, RealArray a) {
  if (!ndims_valid(a.ndims)) return empty_descriptor<RealArray>();
  // A view must stay inside the array it is cut from.
  if (!index_in_range(k >= 0 && k <= a.ndims)) return empty_descriptor<RealArray>();
  if (!index_in_range(i >= 0 && i < extent_product(k, a.dims))) return empty_descriptor<RealArray>();
  RealArray sub;
  sub.ndims = a.ndims - k;
  sub.dims = a.dims + k;
  sub.data = a.data ? a.data + (long long)i * extent_product(sub.ndims, sub.dims) : nullptr;
  return sub;
}

RealArray array_subarray(int k, int i, RealArray a) { return real_subarray(k, i, a); }

IntegerArray integer_vector_from(int n, const std::int32_t* values) {
  IntegerArray v = empty_descriptor<IntegerArray>();
  std::int32_t* dims = alloc_sizes(1);
  if (!dims) return v;
  dims[0] = n;
  std::int32_t* data = alloc_integers(n);
  if (!data) return v;
  for (int j = 0; j < n; ++j) data[j] = values[j];
  v.ndims = 1;
  v.dims = dims;
  v.data = data;
  return v;
}

IntegerArray array_int_vector_shortened(RealArray a) {
  return shortened_size_vector(a.ndims, a.dims);
}
IntegerArray array_int_vector_shortened(IntegerArray a) {
  return shortened_size_vector(a.ndims, a.dims);
}
IntegerArray array_int_vector_shortened(StringArray a) {
  return shortened_size_vector(a.ndims, a.dims);
}

RealArray size_descriptor_from(int n, const std::int32_t* values) {
  RealArray d = empty_descriptor<RealArray>();
  std::int32_t* dims = alloc_sizes(n);
  if (!dims) return d;
  for (int j = 0; j < n; ++j) dims[j] = values[j];
  d.ndims = n;
  d.dims = dims;
  return d;
}

namespace {

StringArray string_array_with_extents(int n, std::int32_t* dims) {
  StringArray a = empty_descriptor<StringArray>();
  std::int32_t count = 0;
  if (!dims || !checked_extent_product(n, dims, &count)) return a;
  const char** data = alloc_strings(count);
  if (!data) return a;
  a.ndims = n;
  a.dims = dims;
  a.data = data;
  return a;
}

}  // namespace

StringArray string_array_from_dims(int n, const std::int32_t* dims) {
  std::int32_t* copy = alloc_sizes(n);
  if (copy)
    for (int j = 0; j < n; ++j) copy[j] = dims[j];
  return string_array_with_extents(n, copy);
}

StringArray string_array_dims(int n, ...) {
  std::int32_t* copy = alloc_sizes(n);
  if (copy) {
    va_list args;
    va_start(args, n);
    for (int j = 0; j < n; ++j) copy[j] = va_arg(args, int);
    va_end(args);
  }
  return string_array_with_extents(n, copy);
}

StringArray string_array_fill(StringArray a, const char* s) {
  std::int32_t count = array_element_count(a);
  if (a.data)
    for (std::int32_t k = 0; k < count; ++k) a.data[k] = s;
  return a;
}

RealArray gather_record_field_reals(RealArray a, int off) {
  return gather_field<RealArray, double>(a, off, alloc_reals);
}

IntegerArray gather_record_field_integers(RealArray a, int off) {
  return gather_field<IntegerArray, std::int32_t>(a, off, alloc_integers);
}

StringArray gather_record_field_strings(RealArray a, int off) {
  return gather_field<StringArray, const char*>(a, off, alloc_strings);
}

RealArray concat_record_field_real_arrays(RealArray a, int off) {
  return concat_field<RealArray, double>(a, off, alloc_reals);
}

IntegerArray concat_record_field_integer_arrays(RealArray a, int off) {
  return concat_field<IntegerArray, std::int32_t>(a, off, alloc_integers);
}

StringArray concat_record_field_string_arrays(RealArray a, int off) {
  return concat_field<StringArray, const char*>(a, off, alloc_strings);
}

char* format_string_padded(int i, int leftJustified, int minimumLength, StringArray a) {
  if (!index_in_range(i >= 1 && i <= array_element_count(a)) || !a.data) return nullptr;
  const char* s = a.data[i - 1];
  if (!s) s = "";
  if (minimumLength < 0) minimumLength = 0;
  // Formatted straight into the simple-string area at its full length, so no
  // working buffer limits the width.
  std::size_t textLength = std::strlen(s);
  std::size_t length =
      textLength > (std::size_t)minimumLength ? textLength : (std::size_t)minimumLength;
  if (!require(length < (std::size_t)INT_MAX, "stringmark+len+1<Endsimplestring",
               "Room to allocate string"))
    return nullptr;
  char* out = alloc_simple_string((int)length);
  if (!out) return nullptr;
  std::snprintf(out, length + 1, leftJustified ? "%-*s" : "%*s", minimumLength, s);
  return out;
}

}  // namespace pelvarin
