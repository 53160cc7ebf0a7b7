// Takes bytes off the front of a fuzzer's input: the choices a target makes
// (piece sizes, commands) come from the input itself, so that every run is
// reproducible from the crashing file alone.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
  const std::uint8_t* data;
  std::size_t size;

  bool Empty() const { return size == 0; }
  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  // Up to n bytes (fewer at the end); returns how many were taken.
  std::size_t Take(std::size_t n, const std::uint8_t*& out) {
    if (n > size) n = size;
    out = data;
    data += n;
    size -= n;
    return n;
  }
};
