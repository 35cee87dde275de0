// Names on the simulated device: UTF-16/UTF-8 conversion, case-insensitive
// comparison and wildcard patterns, as the device's file system has them.
#include "device/names.h"

#include <cstdint>

#include <algorithm>

namespace sim {

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD; // a lone surrogate cannot be written as UTF-8
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::size_t DecodeUtf8(const std::string& text, std::size_t at, std::uint32_t& c) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    const std::size_t n = (lead & 0xE0) == 0xC0   ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                          : (lead & 0xF8) == 0xF0 ? 4
                                                  : 0;
    if (n == 0 || at + n > text.size()) {
        return 0;
    }
    c = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return 0;
    }
    return n;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size()); // never more units than bytes
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t c = 0;
        const std::size_t n = DecodeUtf8(text, i, c);
        if (n == 0) {
            c = 0xFFFD;
            ++i;
        } else {
            i += n;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

namespace {

struct CaseFold {
    char16_t from;
    char16_t to;
};

// Unicode's simple case foldings of the Basic Multilingual Plane, in code
// order: "A" to "a", "Σ" and "ς" to "σ", "K" (Kelvin) to "k".
constexpr CaseFold CaseFolds[] = {
#include "device/case_folds.inc"
};

// The device compares names one UTF-16 unit at a time, each folded.
char16_t FoldChar(char16_t c) {
    if (c < 0x80) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
    }
    const CaseFold* end = CaseFolds + sizeof CaseFolds / sizeof CaseFolds[0];
    const CaseFold* fold = std::lower_bound(
        CaseFolds, end, c, [](const CaseFold& f, char16_t v) { return f.from < v; });
    return fold != end && fold->from == c ? fold->to : c;
}

} // namespace

std::u16string Fold(const std::u16string& text) {
    std::u16string out;
    FoldInto(text, out);
    return out;
}

void FoldInto(const std::u16string& text, std::u16string& out) {
    out.assign(text);
    for (char16_t& c : out) {
        c = FoldChar(c);
    }
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

// "*" matches any run of characters, "?" any one; letter case is ignored.
bool MatchesPattern(const std::u16string& name, const std::u16string& pattern) {
    std::size_t n = 0, p = 0, star = std::u16string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || FoldChar(pattern[p]) == FoldChar(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = n;
        } else if (star != std::u16string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

bool HasExtension(const std::u16string& name, const std::u16string& extension) {
    return name.size() > extension.size() &&
           SameName(name.substr(name.size() - extension.size()), extension);
}

std::u16string ParentOf(const std::u16string& path) {
    std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string NameOf(const std::u16string& path) {
    std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

bool IsWithin(const std::u16string& path, const std::u16string& folder) {
    return SameName(path, folder) || (path.size() > folder.size() && path[folder.size()] == u'\\' &&
                                      SameName(path.substr(0, folder.size()), folder));
}

} // namespace sim
