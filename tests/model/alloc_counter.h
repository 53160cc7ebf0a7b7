// Counts the bytes handed out by operator new in this test program, so that a
// test can tell how much memory a call took.
#pragma once

#include <cstddef>

namespace panora::test {

std::size_t AllocatedBytes();  // total since the program started

}  // namespace panora::test
