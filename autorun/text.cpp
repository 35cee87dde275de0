#include "autorun/text.h"

#include "platform/platform.h"

int BoundedLength(const char16_t* text, int limit) {
    for (int n = 0; n < limit; ++n) {
        if (text[n] == 0) {
            return n;
        }
    }
    return -1;
}

bool AppendToPath(char16_t* path, const char16_t* text) {
    int used = BoundedLength(path, platform::MaxPath);
    if (used < 0) {
        return false;
    }
    int room = platform::MaxPath - used; // units left, terminator included
    int length = BoundedLength(text, room);
    if (length < 0) {
        return false;
    }
    for (int i = 0; i <= length; ++i) {
        path[used + i] = text[i];
    }
    return true;
}

bool CopyToPath(char16_t* path, const char16_t* text) {
    int length = BoundedLength(text, platform::MaxPath);
    if (length < 0) {
        return false;
    }
    for (int i = 0; i <= length; ++i) {
        path[i] = text[i];
    }
    return true;
}

static char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringCase(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
        if (*a == 0) {
            return true;
        }
    }
}

bool Contains(const char16_t* text, const char16_t* part) {
    if (part[0] == 0) {
        return false;
    }
    for (; *text != 0; ++text) {
        int i = 0;
        while (part[i] != 0 && text[i] == part[i]) {
            ++i;
        }
        if (part[i] == 0) {
            return true;
        }
    }
    return false;
}
