#pragma once
// Memory that runs out on cue: linking this replaces the program's operator
// new and delete with ones that can be told to fail.

namespace ostrovel::test {

/// The calling thread's next operator new throws std::bad_alloc.
void FailNextAllocationOnThisThread();

} // namespace ostrovel::test
