// Knows no Windows header, so that the host build tests it too.
#include "platform/win32/command_line.h"

namespace win32 {

static bool IsBlank(char16_t unit) {
    return unit != 0 && unit <= u' ';
}

char16_t* SkipProgramName(char16_t* commandLine) {
    char16_t* at = commandLine;
    bool quoted = false;
    for (; *at != 0 && (quoted || !IsBlank(*at)); ++at) {
        if (*at == u'"') {
            quoted = !quoted;
        }
    }
    // The one blank that ends the name separates it from the arguments; any
    // further blanks are the arguments' own.
    if (*at != 0) {
        ++at;
    }
    return at;
}

} // namespace win32
