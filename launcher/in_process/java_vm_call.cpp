#include "in_process/java_vm_call.h"

#include "system/diagnostics.h"
#include "system/paths.h"

#include <jni.h>
#include <windows.h>

#include <cwchar>

static_assert(sizeof(jchar) == sizeof(wchar_t), "Java strings are made from UTF-16 directly");

namespace {

constexpr char method_signature[] = "([Ljava/lang/String;Ljava/lang/String;)V";
constexpr DWORD poll_ms = 20;
// While the virtual machine starts, its class loader may not find the class yet: a hand-over
// that came before the machine tries this many more times.
constexpr int class_polls = 150;

using GetCreatedJavaVMs = jint(JNICALL*)(JavaVM**, jsize, jsize*);

// The machine, once jli.dll has loaded vm_library and created it; polls counts the waits. The
// library is looked up by its name alone: jli.dll loads it by a path of its own making, which
// need not be spelled as the launcher's (a short name, say).
JavaVM* created_vm(const wchar_t* vm_library, int* polls)
{
    static GetCreatedJavaVMs created;
    for (;; ++*polls, Sleep(poll_ms)) {
        HMODULE library = created == nullptr ? GetModuleHandleW(wcsrchr(vm_library, L'\\') + 1) : nullptr;
        if (library != nullptr)
            created = reinterpret_cast<GetCreatedJavaVMs>(
                reinterpret_cast<void (*)()>(GetProcAddress(library, "JNI_GetCreatedJavaVMs")));
        JavaVM* vm = nullptr;
        jsize count = 0;
        if (created != nullptr && created(&vm, 1, &count) == JNI_OK && count > 0)
            return vm;
    }
}

jstring java_string(JNIEnv* env, const MessageText& text)
{
    return env->NewString(reinterpret_cast<const jchar*>(text.units), text.length);
}

// Calls the method with a new array of the arguments; a failure leaves an exception pending.
void call_with(JNIEnv* env, jclass target, jmethodID id, const MessageText* texts, int count)
{
    jclass string_class = env->FindClass("java/lang/String");
    jobjectArray array = string_class == nullptr ? nullptr : env->NewObjectArray(count - 1, string_class, nullptr);
    for (int i = 1; array != nullptr && i < count; ++i) {
        jstring argument = java_string(env, texts[i]);
        if (argument == nullptr)
            break;
        env->SetObjectArrayElement(array, i - 1, argument);
        env->DeleteLocalRef(argument);
    }
    jstring folder = env->ExceptionCheck() ? nullptr : java_string(env, texts[0]);
    if (folder != nullptr) {
        jvalue values[2];
        values[0].l = array;
        values[1].l = folder;
        env->CallStaticVoidMethodA(target, id, values);
    }
    jobject references[] = {folder, array, string_class};
    for (jobject reference : references)
        if (reference != nullptr)
            env->DeleteLocalRef(reference);
}

} // namespace

void prepare_java_method(JavaMethod* method, const wchar_t* text)
{
    // The last dot, made a terminator, ends the class.
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    auto* copy = static_cast<char*>(checked_realloc(nullptr, static_cast<size_t>(bytes)));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, copy, bytes, nullptr, nullptr);
    char* dot = nullptr;
    for (char* p = copy; *p != '\0'; ++p)
        if (*p == '.')
            *(dot = p) = '/';
    *dot = '\0';
    *method = {copy, dot + 1};
}

bool call_java_method(const JavaMethod* method, const wchar_t* vm_library, const MessageText* texts, int count)
{
    int polls = 0;
    JavaVM* vm = created_vm(vm_library, &polls);
    JNIEnv* env = nullptr;
    bool delivered = false;
    if (vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) == JNI_OK) {
        jclass target = env->FindClass(method->class_name);
        for (int retry = polls > 0 ? class_polls : 0; target == nullptr && retry > 0; --retry) {
            env->ExceptionClear();
            Sleep(poll_ms);
            target = env->FindClass(method->class_name);
        }
        jmethodID id = target == nullptr ? nullptr : env->GetStaticMethodID(target, method->name, method_signature);
        if (id != nullptr) {
            call_with(env, target, id, texts, count);
            delivered = !env->ExceptionCheck();
        }
        // What went wrong (no such class or method, what the method threw) goes to standard error.
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            env->ExceptionClear();
        }
        if (target != nullptr)
            env->DeleteLocalRef(target);
        vm->DetachCurrentThread();
    }
    trace_message(L"Hand-over to %S.%S: %S", method->class_name, method->name,
                  delivered ? "delivered" : "not delivered");
    return delivered;
}
