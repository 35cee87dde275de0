// Stands in for the programs that autorun starts under Wine (the reader and
// the uninstaller): records how it was started, then exits.
//
// Appends one line to C:\started.log, in UTF-8: its own full path, a tab, and
// its command line without the program's name, as its WinMain received it.
#define UNICODE
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static void Append(HANDLE log, const wchar_t* text) {
    char utf8[4 * MAX_PATH * 4];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    if (length > 1) {
        DWORD written = 0;
        WriteFile(log, utf8, static_cast<DWORD>(length - 1), &written, nullptr);
    }
}

extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    wchar_t self[MAX_PATH * 4];
    if (GetModuleFileNameW(nullptr, self, MAX_PATH * 4) == 0) {
        return 1;
    }
    HANDLE log =
        CreateFileW(L"C:\\started.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return 1;
    }
    Append(log, self);
    Append(log, L"\t");
    Append(log, commandLine);
    Append(log, L"\n");
    CloseHandle(log);
    return 0;
}
