// The library's only export: the native method vecraster of the Java class
// com.tandrel.vantor_ext.vecraster.VECRASTER. It copies the two file names out of the VM,
// renders, and answers null or a short error text; it never raises a Java exception.
#include "render.h"

#include <jni.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>

static_assert(sizeof(jchar) == sizeof(wchar_t), "Java strings are passed to Windows as UTF-16");

namespace {

constexpr wchar_t out_of_memory_input[] = L"out of memory #11";
constexpr wchar_t out_of_memory_output[] = L"out of memory #12";

// A NUL-terminated copy of a Java string, cut before its first U+0000, owned by the caller
// (free); null when the characters cannot be borrowed or the copy cannot be allocated.
wchar_t* copy_java_string(JNIEnv* env, jstring string)
{
    const jchar* chars = env->GetStringChars(string, nullptr);
    if (chars == nullptr)
        return nullptr;
    jsize length = env->GetStringLength(string);
    wchar_t* copy = nullptr;
    // A negative length or a byte count beyond the address space counts as a failed allocation.
    if (length >= 0 && static_cast<uint64_t>(length) + 1 <= SIZE_MAX / sizeof(wchar_t)) {
        size_t units = static_cast<size_t>(length);
        copy = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
        if (copy != nullptr) {
            size_t at = 0;
            while (at < units && chars[at] != 0) {
                copy[at] = static_cast<wchar_t>(chars[at]);
                ++at;
            }
            copy[at] = L'\0';
            copy[units] = L'\0';
        }
    }
    env->ReleaseStringChars(string, chars);
    return copy;
}

jstring new_java_string(JNIEnv* env, const wchar_t* text)
{
    return env->NewString(reinterpret_cast<const jchar*>(text), static_cast<jsize>(wcslen(text)));
}

} // namespace

extern "C" JNIEXPORT jstring JNICALL Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster(
    JNIEnv* env, jclass, jstring input_file, jstring output_file, jdouble resolution)
{
    wchar_t* input = copy_java_string(env, input_file);
    if (input == nullptr)
        return new_java_string(env, out_of_memory_input);
    wchar_t* output = copy_java_string(env, output_file);
    if (output == nullptr) {
        free(input);
        return new_java_string(env, out_of_memory_output);
    }
    const wchar_t* error = render_metafile_to_png(input, output, resolution);
    free(input);
    free(output);
    return error == nullptr ? nullptr : new_java_string(env, error);
}
