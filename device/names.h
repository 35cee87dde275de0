// Names on the simulated device: UTF-16 text to and from UTF-8, comparison
// without regard to letter case, wildcard patterns, and the parts of a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text);
// UTF-8 to UTF-16; a byte that starts no well-formed character becomes
// U+FFFD.
std::u16string Utf16(const std::string& text);
// Decodes the UTF-8 sequence at text[at] into c: its length, or 0 when it is
// not well-formed (overlong, a surrogate, past U+10FFFF, cut short).
std::size_t DecodeUtf8(const std::string& text, std::size_t at, std::uint32_t& c);

std::u16string Fold(const std::u16string& text); // the key of a name, case folded
// The same into out, whose room is used again: for look-ups that keep no key.
void FoldInto(const std::u16string& text, std::u16string& out);
bool SameName(const std::u16string& a, const std::u16string& b);
// "*" matches any run of characters, "?" any one; letter case is ignored.
bool MatchesPattern(const std::u16string& name, const std::u16string& pattern);
// Whether a name ends in extension (".exe"), letter case ignored, with
// something before it.
bool HasExtension(const std::u16string& name, const std::u16string& extension);

// "\A\B" has the parent "\A" and the name "B"; "\A" has the parent "" (the
// root).
std::u16string ParentOf(const std::u16string& path);
std::u16string NameOf(const std::u16string& path);
// Whether path is folder or lies under it, letter case ignored.
bool IsWithin(const std::u16string& path, const std::u16string& folder);

} // namespace sim
