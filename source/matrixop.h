// Work buffers of the runtime: static scratch areas for arrays and strings
// of model functions, marks over them, and the array descriptors with their
// index, size and sub-array operations.
#pragma once

#include <cstdint>

namespace pelvarin {

// Capacities in elements (bytes for the simple-string area).
enum : int {
  REALBUFFER_SIZE = 7000000,
  INTEGERBUFFER_SIZE = 50000,
  SIZEBUFFER_SIZE = 50000,
  STRINGBUFFER_SIZE = 10000,
  SIMPLESTRING_SIZE = 100000,
};

// The areas; each End points one element past the area's last element.
// Stringbuffer holds pointers, 8 bytes each here, so the five areas reserve
// 56,580,000 bytes on this platform.
extern double Realbuffer[REALBUFFER_SIZE];
extern std::int32_t Integerbuffer[INTEGERBUFFER_SIZE];
extern std::int32_t Sizebuffer[SIZEBUFFER_SIZE];
extern const char* Stringbuffer[STRINGBUFFER_SIZE];
extern char simplestring[SIMPLESTRING_SIZE];

extern double* const EndRealbuffer;
extern std::int32_t* const EndIntegerbuffer;
extern std::int32_t* const EndSizebuffer;
extern const char** const EndStringbuffer;
extern char* const Endsimplestring;

// Fill pointers of the four work buffers, in this order.
struct WorkBufferPlaces {
  double* Realbuffer;
  std::int32_t* Integerbuffer;
  std::int32_t* Sizebuffer;
  const char** Stringbuffer;
};

struct WorkMark {
  WorkBufferPlaces place;       // next free element of each buffer
  WorkBufferPlaces frameStart;  // the fill pointers at the last buffer_push_mark
};

extern WorkMark currentMark;
extern const WorkMark initialMark;
// Fill pointer of the simple-string area; marks never touch it.
extern char* stringmark;

// After an overflow a buffer's fill pointer stands at its end, so that every
// later request to it fails until a reset or a restored mark.
double* alloc_reals(int n);
std::int32_t* alloc_integers(int n);
std::int32_t* alloc_sizes(int n);
const char** alloc_strings(int n);
char* alloc_simple_string(int len);
char* alloc_empty_string(int len);
char* try_alloc_empty_string(int len);

WorkMark buffer_push_mark();
void buffer_pop_mark(WorkMark mark);
void buffer_reset_all();

// Array descriptors: row-major elements, 1-based subscripts. They own
// nothing; extents and elements live in the work buffers.
struct RealArray {
  std::int32_t ndims;
  std::int32_t* dims;
  double* data;
};
struct IntegerArray {
  std::int32_t ndims;
  std::int32_t* dims;
  std::int32_t* data;
};
struct StringArray {
  std::int32_t ndims;
  std::int32_t* dims;
  const char** data;
};

// Arrays of records: the last extent is the number of 8-byte slots of one
// record, a field is addressed by its byte offset. On this platform a Real
// field fills its slot, an Integer field holds its value in the first four
// bytes of its slot, a String field holds its pointer in the whole 8-byte
// slot, and an array-valued field holds a descriptor of 24 bytes (three
// slots: ndims padded to 8 bytes, dims, data).
enum { RECORD_SLOT_BYTES = 8 };

std::int32_t array_linear_index(int ndims, const std::int32_t* dims, const std::int32_t* subscripts);
// The subscripts follow as one int argument per dimension.
double* array_element_offset(RealArray a, ...);

std::int32_t array_size(RealArray a, int i);
std::int32_t array_size(IntegerArray a, int i);
std::int32_t array_size(StringArray a, int i);
std::int32_t array_dim_size(RealArray a, int i);
std::int32_t array_dim_size(IntegerArray a, int i);
std::int32_t array_dim_size(StringArray a, int i);

std::int32_t array_element_count(RealArray a);
std::int32_t array_element_count(IntegerArray a);
std::int32_t array_element_count(StringArray a);

RealArray real_subarray(int k, int i, RealArray a);
RealArray array_subarray(int k, int i, RealArray a);

IntegerArray integer_vector_from(int n, const std::int32_t* values);
IntegerArray array_int_vector_shortened(RealArray a);
IntegerArray array_int_vector_shortened(IntegerArray a);
IntegerArray array_int_vector_shortened(StringArray a);
RealArray size_descriptor_from(int n, const std::int32_t* values);
StringArray string_array_from_dims(int n, const std::int32_t* dims);
// The n extents follow as separate int arguments.
StringArray string_array_dims(int n, ...);
StringArray string_array_fill(StringArray a, const char* s);

RealArray gather_record_field_reals(RealArray a, int off);
IntegerArray gather_record_field_integers(RealArray a, int off);
StringArray gather_record_field_strings(RealArray a, int off);
RealArray concat_record_field_real_arrays(RealArray a, int off);
IntegerArray concat_record_field_integer_arrays(RealArray a, int off);
StringArray concat_record_field_string_arrays(RealArray a, int off);

char* format_string_padded(int i, int leftJustified, int minimumLength, StringArray a);

}  // namespace pelvarin
