/* What the C stand-ins share: they are built for ARM64 as for x64 (no C or C++ library on
   ARM64), so they use the Windows API alone. Each appends UTF-8 lines to the file named by
   STAND_IN_RECORD. */
#pragma once

#include <windows.h>

static inline const wchar_t* variable(const wchar_t* name)
{
    static wchar_t values[4][4096];
    static int next;
    wchar_t* value = values[next++ % 4];
    DWORD length = GetEnvironmentVariableW(name, value, 4096);
    return length > 0 && length < 4096 ? value : NULL;
}

static inline int number(const wchar_t* text)
{
    int value = 0;
    while (text != NULL && *text >= L'0' && *text <= L'9')
        value = value * 10 + (*text++ - L'0');
    return value;
}

static inline void record_bytes(HANDLE file, const char* bytes, int length)
{
    DWORD written = 0;
    WriteFile(file, bytes, (DWORD)length, &written, NULL);
}

static inline HANDLE open_record(void)
{
    const wchar_t* path = variable(L"STAND_IN_RECORD");
    if (path == NULL)
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
}

static inline void record_wide(HANDLE file, const wchar_t* text)
{
    static char bytes[32768 * 3];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (length > 1)
        record_bytes(file, bytes, length - 1);
}

static inline void record_text(HANDLE file, const char* text)
{
    record_bytes(file, text, lstrlenA(text));
}

static inline void record_number(HANDLE file, unsigned value)
{
    char digits[12];
    int at = 11;
    digits[at] = '\0';
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    record_text(file, digits + at);
}

/* Waits until the file named by the variable exists, when one is named. */
static inline void wait_for(const wchar_t* name)
{
    const wchar_t* path = variable(name);
    while (path != NULL && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        Sleep(10);
}
