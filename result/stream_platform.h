// The two things the writer needs of an open file that standard C does not
// offer: forgetting what a stream still holds unwritten, and cutting the file
// short. They stay here, so that the rest of the writer is standard C++.
#pragma once

#include <cstdio>

namespace pelvarin {

// Drops the bytes that the stream holds in its buffer and has not written,
// so that no later flush or close writes them.
void stream_drop_unwritten(FILE* stream);
// Cuts the stream's file to length bytes. False (with errno) when the file
// cannot be cut.
bool stream_cut_file(FILE* stream, long length);

}  // namespace pelvarin
