#include "system/diagnostics.h"

#include "front.h"
#include "system/paths.h"
#include "system/text_format.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

enum class Tracing { undecided, on, off };

constexpr wchar_t banner[] = L"Tandrel kelvo version 2.2.0\n";
constexpr int message_capacity = 4096;

Tracing tracing = Tracing::undecided;

// The C runtime's standard error stream, taken from its own table: the import library's
// wrapper for stderr would bring data and unwind tables of its own into the launcher.
FILE* standard_error()
{
    return &_iob[2];
}
FILE* log_stream = nullptr;
wchar_t system_error_buffer[1024];
wchar_t message_text[message_capacity];

// The log's narrow character set is the C runtime's "C" locale: a unit below 256 is that
// byte; every other character, a surrogate pair included, becomes one '?', so an entry
// never ends early at a character that the stream cannot convert.
void write_narrow(const wchar_t* text, size_t length)
{
    char chunk[1024];
    size_t used = 0;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        chunk[used++] = c < 0x100 ? static_cast<char>(c) : '?';
        if (used == sizeof chunk) {
            fwrite(chunk, 1, used, log_stream);
            used = 0;
        }
    }
    fwrite(chunk, 1, used, log_stream);
}

void write_entry(const wchar_t* format, va_list args)
{
    wchar_t local[1024];
    wchar_t* text = local;
    va_list first;
    va_copy(first, args);
    int length = format_text(local, 1024, format, first);
    va_end(first);
    if (length >= 1024) {
        text = static_cast<wchar_t*>(checked_realloc(nullptr, checked_wide_size(static_cast<size_t>(length) + 1)));
        format_text(text, length + 1, format, args);
    }
    write_narrow(text, static_cast<size_t>(length));
    write_narrow(L"\n\n", 2);
    fflush(log_stream);
    if (text != local)
        free(text);
}

// The log is written anew by a start ("wt"); entries after close_trace_log are appended ("at").
void open_log(const wchar_t* mode)
{
    PathBuffer launcher_path;
    PathBuffer log_path;
    DWORD length = GetModuleFileNameW(nullptr, launcher_path, path_max_length);
    if (length == 0)
        return;
    // A cut module path or a log path that does not fit names no file of ours: never
    // open such a name for writing, log to the standard error stream instead.
    bool named = length < path_max_length && replace_extension(launcher_path, L".kelvo_log", log_path);
    log_stream = named ? _wfopen(log_path, mode) : nullptr;
    if (log_stream == nullptr)
        log_stream = standard_error();
    if (mode[0] == L'w')
        write_narrow(banner, wcslen(banner));
}

void format_into(wchar_t* out, int capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    format_wide(out, capacity, format, args);
    va_end(args);
}

void report(const wchar_t* format, va_list args)
{
    if (log_stream != nullptr) {
        va_list entry;
        va_copy(entry, args);
        write_entry(format, entry);
        va_end(entry);
    }
    format_wide(message_text, message_capacity, format, args);
    present_error(message_text);
}

} // namespace

int format_wide(wchar_t* out, int capacity, const wchar_t* format, va_list args)
{
    int length = format_text(out, capacity, format, args);
    return length < capacity ? length : capacity - 1;
}

bool format_fitting(wchar_t* out, int capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fits = format_text(out, capacity, format, args) < capacity;
    va_end(args);
    return fits;
}

void trace_message(const wchar_t* format, ...)
{
    if (tracing == Tracing::undecided) {
        tracing = _wgetenv(L"VERBOSE_KELVO") != nullptr ? Tracing::on : Tracing::off;
        if (tracing == Tracing::on)
            open_log(L"wt");
    }
    if (tracing != Tracing::on)
        return;
    // Once closed, the log takes each entry of the instance's thread and is closed again, so that
    // a process that Java ends loses none.
    bool reopened = log_stream == nullptr;
    if (reopened)
        open_log(L"at");
    if (log_stream == nullptr)
        return;
    va_list args;
    va_start(args, format);
    write_entry(format, args);
    va_end(args);
    if (reopened)
        close_trace_log();
}

const wchar_t* system_error_text(unsigned long code)
{
    wchar_t text[1024];
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 990, nullptr) == 0)
        text[0] = L'\0';
    text[990] = L'\0';
    format_into(system_error_buffer, 1024, L"%s (error %d)", text, static_cast<int>(code));
    return system_error_buffer;
}

void show_error(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
}

void fatal_error(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
    exit_launcher(2);
}

void close_trace_log()
{
    if (log_stream != nullptr) {
        fflush(log_stream);
        if (log_stream != standard_error())
            fclose(log_stream);
        log_stream = nullptr;
    }
}

void exit_launcher(int code)
{
    close_trace_log();
    ExitProcess(static_cast<UINT>(code));
}
