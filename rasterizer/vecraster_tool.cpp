// vecraster.exe: converts one file with the vecraster-32 library beside it, without Java.
//   vecraster INPUT OUTPUT [DPI]
// DPI defaults to 96; 0 keeps the image's own size, a negative value is a lower bound.
// Exit code 0 on success, 1 when the conversion fails (its error text is printed), 2 for a
// wrong command line or a library that cannot be loaded.
#include <windows.h>

#include <jni.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr double default_dpi = 96.0;
constexpr DWORD path_capacity = 2048;

#ifdef _WIN64
constexpr char export_name[] = "Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster";
#else
constexpr char export_name[] = "_Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster@24";
#endif

using VecrasterFunction = jstring(JNICALL*)(JNIEnv*, jclass, jstring, jstring, jdouble);

// The tool's Java strings: UTF-16 units and their count, nothing else.
struct ToolString {
    const jchar* units;
    jsize length;
};

ToolString* tool_string(jstring string)
{
    return reinterpret_cast<ToolString*>(string);
}

jstring JNICALL tool_new_string(JNIEnv*, const jchar* units, jsize length)
{
    size_t count = length < 0 ? 0 : static_cast<size_t>(length);
    auto* copy = static_cast<jchar*>(malloc((count + 1) * sizeof(jchar)));
    auto* string = static_cast<ToolString*>(malloc(sizeof(ToolString)));
    if (copy == nullptr || string == nullptr) {
        // A lost error text must not read as success.
        fputws(L"vecraster: out of memory\n", stderr);
        exit(2);
    }
    wmemcpy(reinterpret_cast<wchar_t*>(copy), reinterpret_cast<const wchar_t*>(units), count);
    copy[count] = 0;
    *string = ToolString{copy, static_cast<jsize>(count)};
    return reinterpret_cast<jstring>(string);
}

jsize JNICALL tool_get_string_length(JNIEnv*, jstring string)
{
    return tool_string(string)->length;
}

const jchar* JNICALL tool_get_string_chars(JNIEnv*, jstring string, jboolean* is_copy)
{
    if (is_copy != nullptr)
        *is_copy = JNI_FALSE;
    return tool_string(string)->units;
}

void JNICALL tool_release_string_chars(JNIEnv*, jstring, const jchar*) {}

bool parse_dpi(const wchar_t* text, double* dpi)
{
    wchar_t* end = nullptr;
    *dpi = wcstod(text, &end);
    return end != text && *end == L'\0';
}

// The library beside this program, loaded by its full path so that no other copy is found.
HMODULE load_library_beside_program()
{
    wchar_t path[path_capacity];
    DWORD length = GetModuleFileNameW(nullptr, path, path_capacity);
    if (length == 0 || length >= path_capacity)
        return nullptr;
    wchar_t* separator = wcsrchr(path, L'\\');
    size_t folder_length = separator == nullptr ? 0 : static_cast<size_t>(separator - path) + 1;
    constexpr wchar_t name[] = L"vecraster-32.dll";
    if (folder_length + wcslen(name) >= path_capacity)
        return nullptr;
    wcscpy(path + folder_length, name);
    return LoadLibraryW(path);
}

int usage()
{
    fputws(L"usage: vecraster INPUT OUTPUT [DPI]\n"
           L"  Renders INPUT (a Windows metafile or any image GDI+ reads) into the PNG file OUTPUT.\n"
           L"  DPI: output resolution in dots per inch, default 96; 0 keeps the image's own size,\n"
           L"  a negative value scales only when its magnitude exceeds the image's resolution.\n",
           stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc > 4)
        return usage();
    double dpi = default_dpi;
    if (argc == 4 && !parse_dpi(argv[3], &dpi))
        return usage();

    HMODULE library = load_library_beside_program();
    if (library == nullptr) {
        fputws(L"vecraster: cannot load vecraster-32.dll beside this program\n", stderr);
        return 2;
    }
    auto convert = reinterpret_cast<VecrasterFunction>(reinterpret_cast<void*>(GetProcAddress(library, export_name)));
    if (convert == nullptr) {
        fputws(L"vecraster: vecraster-32.dll lacks its conversion function\n", stderr);
        return 2;
    }

    JNINativeInterface_ functions{};
    functions.NewString = tool_new_string;
    functions.GetStringLength = tool_get_string_length;
    functions.GetStringChars = tool_get_string_chars;
    functions.ReleaseStringChars = tool_release_string_chars;
    JNIEnv env{&functions};

    ToolString input{reinterpret_cast<const jchar*>(argv[1]), static_cast<jsize>(wcslen(argv[1]))};
    ToolString output{reinterpret_cast<const jchar*>(argv[2]), static_cast<jsize>(wcslen(argv[2]))};
    jstring error = convert(&env, nullptr, reinterpret_cast<jstring>(&input), reinterpret_cast<jstring>(&output), dpi);
    if (error == nullptr)
        return 0;
    fputws(L"vecraster: ", stderr);
    fputws(reinterpret_cast<const wchar_t*>(tool_string(error)->units), stderr);
    fputws(L"\n", stderr);
    return 1;
}
