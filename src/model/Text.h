// Mode names are single-byte text in profile files and UTF-8 everywhere else.
// The single-byte side is Windows-1252; its five unassigned bytes (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so that all 256
// byte values have a character and every name read is written back unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panora {

// Never fails: every byte has a character.
std::string Cp1252ToUtf8(std::string_view bytes);

// Fails on malformed UTF-8 and on characters that have no Windows-1252 byte;
// `out` is then left empty and, when given, *badOffset is the byte offset in
// `utf8` of the first character that could not be converted.
bool Utf8ToCp1252(std::string_view utf8, std::string& out, std::size_t* badOffset = nullptr);

// Decodes one UTF-8 character at `pos` (strict: no overlong forms, no
// surrogates). Returns the code point and advances pos, or -1 when malformed.
long DecodeUtf8At(std::string_view utf8, std::size_t& pos);

}  // namespace panora
