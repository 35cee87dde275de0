// UTF-16 string routines for paths and the few texts the program compares.
// Every path buffer holds platform::MaxPath units, terminator included.
#pragma once

// Length of text, or -1 when no terminator comes within limit units.
int BoundedLength(const char16_t* text, int limit);

// Appends text to the path in a buffer of platform::MaxPath units when the
// whole result fits with its terminator. Otherwise the buffer is left as it
// was and the result is false: a path is never truncated.
bool AppendToPath(char16_t* path, const char16_t* text);

// Replaces the path in a buffer of platform::MaxPath units, on the same terms.
bool CopyToPath(char16_t* path, const char16_t* text);

// Whole-string equality ignoring the case of ASCII letters. Reads no further
// than the first difference.
bool EqualsIgnoringCase(const char16_t* a, const char16_t* b);

// True when part occurs in text, exact characters. An empty part matches
// nothing.
bool Contains(const char16_t* text, const char16_t* part);
