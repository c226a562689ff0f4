// Work buffers of the runtime: static scratch areas for arrays and strings
// of model functions, marks over them, and the array descriptors with their
// index, size and sub-array operations.
// Not reached in this model: everything but buffer_reset_all, which every
// evaluation of its dynamics runs; it takes no scratch memory and builds no
// arrays, and the utilities that do are not reached either.
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

// n elements of one work buffer, or a string of len characters and its
// terminator from the simple-string area. A negative count or a request
// beyond the room left is a model error; outside an evaluation it returns
// and the call gives NULL. After an overflow a buffer's fill pointer stands
// at its end, so that every later request to it fails until a reset or a
// restored mark.
double* alloc_reals(int n);
std::int32_t* alloc_integers(int n);
std::int32_t* alloc_sizes(int n);
const char** alloc_strings(int n);
char* alloc_simple_string(int len);
// The same, holding the empty string.
char* alloc_empty_string(int len);
// The same without a model error: NULL when the request is refused.
char* try_alloc_empty_string(int len);

// Returns the mark to restore (with buffer_pop_mark) and starts a new frame
// at the current fill pointers. The simple-string area is not marked.
WorkMark buffer_push_mark();
// Needs a mark taken from these buffers; every element taken since is free.
void buffer_pop_mark(WorkMark mark);
// Every buffer and the simple-string area empty again.
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

// The row-major offset of the element at the 1-based subscripts. A subscript
// outside its extent, or an offset beyond 32 bits, is a model error; outside
// an evaluation the call then returns 0 (NULL for the element).
std::int32_t array_linear_index(int ndims, const std::int32_t* dims, const std::int32_t* subscripts);
// The subscripts follow as one int argument per dimension.
double* array_element_offset(RealArray a, ...);

// The extent of dimension i (1-based) and the number of elements; a refused
// argument gives 0.

std::int32_t array_size(RealArray a, int i);
std::int32_t array_size(IntegerArray a, int i);
std::int32_t array_size(StringArray a, int i);
std::int32_t array_dim_size(RealArray a, int i);
std::int32_t array_dim_size(IntegerArray a, int i);
std::int32_t array_dim_size(StringArray a, int i);

std::int32_t array_element_count(RealArray a);
std::int32_t array_element_count(IntegerArray a);
std::int32_t array_element_count(StringArray a);

// The view of the i-th (0-based) block of a's last ndims - k dimensions;
// the empty descriptor when k or i lies outside a.
RealArray real_subarray(int k, int i, RealArray a);
RealArray array_subarray(int k, int i, RealArray a);

// New descriptors in the work buffers; a refused request gives the empty
// descriptor (no dimensions, NULL pointers).

IntegerArray integer_vector_from(int n, const std::int32_t* values);
IntegerArray array_int_vector_shortened(RealArray a);
IntegerArray array_int_vector_shortened(IntegerArray a);
IntegerArray array_int_vector_shortened(StringArray a);
RealArray size_descriptor_from(int n, const std::int32_t* values);
StringArray string_array_from_dims(int n, const std::int32_t* dims);
// The n extents follow as separate int arguments.
StringArray string_array_dims(int n, ...);
StringArray string_array_fill(StringArray a, const char* s);

// The field at byte offset off of every record of a, gathered into one array
// (the concatenations: the field's arrays joined). A field outside its
// record, or a record whose field holds fewer elements than the first
// record's, gives the empty descriptor.
RealArray gather_record_field_reals(RealArray a, int off);
IntegerArray gather_record_field_integers(RealArray a, int off);
StringArray gather_record_field_strings(RealArray a, int off);
RealArray concat_record_field_real_arrays(RealArray a, int off);
IntegerArray concat_record_field_integer_arrays(RealArray a, int off);
StringArray concat_record_field_string_arrays(RealArray a, int off);

// Element i (1-based) of a, padded with blanks to minimumLength, as a new
// simple string; NULL when i lies outside a or the area is full.
char* format_string_padded(int i, int leftJustified, int minimumLength, StringArray a);

}  // namespace pelvarin
