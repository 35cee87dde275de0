// Input that may fight back: reading a description's text within a size
// limit, refusing what is not UTF-8 JSON, and parsing it with bounded nesting.
// Every problem is an InputError, one line that names the file, the place in
// it and what is wrong.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace simtool {

// The largest description read, in bytes.
constexpr std::size_t MaxInputBytes = 16 << 20;
// The deepest nesting of arrays and objects; a description needs 4.
constexpr std::size_t MaxNesting = 10;

class InputError : public std::runtime_error {
  public:
    // "FILE: PLACE: WHAT", or "FILE: WHAT" without a place, with control
    // characters escaped so that it stays one line.
    InputError(const std::string& file, const std::string& place, const std::string& what);
};

// Text as it is shown in messages: control characters (C0, DEL, C1, line and
// paragraph separators, direction overrides) as \uXXXX and bytes that are not
// UTF-8 as \xXX, so it stays on one line and shows what is there.
std::string Escaped(const std::string& text);
// Escaped, in double quotes.
std::string Quoted(const std::string& text);
// The offset of the first byte that is not part of well-formed UTF-8 (no
// overlong forms, surrogates or values past U+10FFFF); text.size() if none.
std::size_t Utf8End(const std::string& text);

// Places in a description: "entries[2].time".
std::string Field(const std::string& place, const std::string& name);
std::string Index(const std::string& place, std::size_t index);

// The whole of a file, or of standard input for "-", refused beyond
// MaxInputBytes; reading stops early at a NUL byte, which ParseJson refuses.
// name is how messages call it.
std::string ReadInput(const std::string& file, const std::string& name);

// Where the parser is: for each open container, the key of the value being
// read (objects) or its index (arrays).
struct Level {
    bool object;
    std::string key;       // objects: the current key
    std::size_t index = 0; // arrays: how many values came before
};
// The fields an object at `levels` may have, or null for any. Called when an
// object opens, so that an unknown field is refused before its value is read.
using FieldsAt = const std::vector<std::string>* (*)(const std::vector<Level>& levels);

// Parses UTF-8 JSON text. Refused: other encodings (with a hint to save the
// text as UTF-8), NUL bytes, anything after the value, nesting deeper than
// MaxNesting, a field given twice, a field fieldsAt does not list, and
// numbers too large for a double or, written without a fraction or exponent,
// for 64 bits. Places are prefixed with `at` (empty for none).
nlohmann::json ParseJson(const std::string& text, const std::string& file, const std::string& at,
                         FieldsAt fieldsAt);

} // namespace simtool
