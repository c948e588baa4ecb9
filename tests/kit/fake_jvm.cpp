// Stand-in for a runtime's jvm.dll: a virtual machine that JNI_CreateJavaVM marks as created and
// whose invocation and native interface tables record each call made to them, appending lines
// to the file KIT_JVM_RECORD. It knows the classes com/example/Main and java/lang/String, and
// the static method open(String[], String) of the first, which throws when its first argument is
// "--throw". Any other entry of the tables records "unexpected" and ends the process.
#include <jni.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// A local reference: a class, a string (its UTF-8) or an array of strings.
struct Object {
    std::string text;
    std::vector<Object*> elements;
};

JNINativeInterface_ native_table;
JNIInvokeInterface_ invoke_table;
JNIEnv_ env{&native_table};
JavaVM_ vm{&invoke_table};
bool created = false;
bool pending = false;
int live_references = 0;
Object main_class{"com/example/Main", {}};
Object string_class{"java/lang/String", {}};
char open_method[] = "open";

void record(const std::string& line, bool while_pending = pending)
{
    wchar_t path[MAX_PATH * 2];
    if (GetEnvironmentVariableW(L"KIT_JVM_RECORD", path, MAX_PATH * 2) == 0)
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    std::string bytes = while_pending ? "(exception pending) " : "";
    bytes += line + "\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void JNICALL unexpected()
{
    record("unexpected");
    ExitProcess(70);
}

jobject local(Object* object)
{
    ++live_references;
    return reinterpret_cast<jobject>(object);
}

std::string utf8(const jchar* units, jsize length)
{
    char bytes[65536];
    int size = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(units), length, bytes, sizeof bytes,
                                   nullptr, nullptr);
    return std::string(bytes, static_cast<size_t>(size > 0 ? size : 0));
}

jint JNICALL attach_daemon(JavaVM*, void** penv, void*)
{
    record("attach-daemon");
    *penv = &env;
    return JNI_OK;
}

jint JNICALL detach(JavaVM*)
{
    record("detach " + std::to_string(live_references));
    return JNI_OK;
}

jclass JNICALL find_class(JNIEnv*, const char* name)
{
    record(std::string("find-class ") + name);
    for (Object* known : {&main_class, &string_class})
        if (known->text == name)
            return static_cast<jclass>(local(known));
    pending = true;
    return nullptr;
}

jmethodID JNICALL static_method(JNIEnv*, jclass target, const char* name, const char* signature)
{
    record(std::string("method ") + name + " " + signature);
    if (reinterpret_cast<Object*>(target) == &main_class && std::string(name) == open_method &&
        std::string(signature) == "([Ljava/lang/String;Ljava/lang/String;)V")
        return reinterpret_cast<jmethodID>(open_method);
    pending = true;
    return nullptr;
}

jstring JNICALL new_string(JNIEnv*, const jchar* units, jsize length)
{
    return static_cast<jstring>(local(new Object{utf8(units, length), {}}));
}

jobjectArray JNICALL new_array(JNIEnv*, jsize length, jclass element, jobject)
{
    if (reinterpret_cast<Object*>(element) != &string_class)
        record("array of another class");
    return static_cast<jobjectArray>(local(new Object{"", std::vector<Object*>(static_cast<size_t>(length))}));
}

void JNICALL set_element(JNIEnv*, jobjectArray array, jsize index, jobject value)
{
    reinterpret_cast<Object*>(array)->elements.at(static_cast<size_t>(index)) = reinterpret_cast<Object*>(value);
}

void JNICALL delete_reference(JNIEnv*, jobject)
{
    --live_references;
}

void JNICALL call_static_void(JNIEnv*, jclass, jmethodID method, const jvalue* values)
{
    std::string line = std::string("call ") + reinterpret_cast<const char*>(method) + "\t" +
                       reinterpret_cast<Object*>(values[1].l)->text;
    const auto& arguments = reinterpret_cast<Object*>(values[0].l)->elements;
    for (Object* argument : arguments)
        line += "\t" + (argument == nullptr ? std::string("(null)") : argument->text);
    record(line);
    pending = !arguments.empty() && arguments[0] != nullptr && arguments[0]->text == "--throw";
}

jboolean JNICALL exception_check(JNIEnv*)
{
    return pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exception_describe(JNIEnv*)
{
    record("describe", false);
}

void JNICALL exception_clear(JNIEnv*)
{
    pending = false;
}

template <typename Table>
void fill_with_unexpected(Table* table)
{
    auto** entries = reinterpret_cast<void**>(table);
    for (size_t i = 0; i < sizeof(Table) / sizeof(void*); ++i)
        entries[i] = reinterpret_cast<void*>(&unexpected);
}

}  // namespace

extern "C" jint JNICALL JNI_CreateJavaVM(JavaVM** result, void** penv, void*)
{
    fill_with_unexpected(&invoke_table);
    invoke_table.AttachCurrentThreadAsDaemon = attach_daemon;
    invoke_table.DetachCurrentThread = detach;
    fill_with_unexpected(&native_table);
    native_table.FindClass = find_class;
    native_table.GetStaticMethodID = static_method;
    native_table.NewString = new_string;
    native_table.NewObjectArray = new_array;
    native_table.SetObjectArrayElement = set_element;
    native_table.DeleteLocalRef = delete_reference;
    native_table.CallStaticVoidMethodA = call_static_void;
    native_table.ExceptionCheck = exception_check;
    native_table.ExceptionDescribe = exception_describe;
    native_table.ExceptionClear = exception_clear;
    *result = &vm;
    *penv = &env;
    created = true;
    return JNI_OK;
}

extern "C" jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize length, jsize* count)
{
    *count = created ? 1 : 0;
    if (created && length > 0)
        buffer[0] = &vm;
    return JNI_OK;
}
