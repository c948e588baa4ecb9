/* Stand-in jvm.dll: a virtual machine that records the calls a hand-over makes into it (classes
   looked up, the static method, the strings it is called with) and answers each as a real one
   would when the class and method exist. */
#include "stand_in.h"

#include <jni.h>

typedef struct {
    int length;
    jobject* elements;
    wchar_t* text;
} Object;

static JavaVM created;
static JNIEnv environment;
static Object class_object;

static void record_line(const char* what, const char* text)
{
    HANDLE file = open_record();
    record_text(file, what);
    record_text(file, text);
    record_text(file, "\n");
    CloseHandle(file);
}

static void* allocate(SIZE_T size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

static jclass JNICALL find_class(JNIEnv* env, const char* name)
{
    record_line("find-class ", name);
    return (jclass)&class_object;
}

static jmethodID JNICALL static_method(JNIEnv* env, jclass target, const char* name, const char* signature)
{
    record_line("method ", name);
    record_line("signature ", signature);
    return (jmethodID)&class_object;
}

static jobjectArray JNICALL new_array(JNIEnv* env, jsize length, jclass type, jobject initial)
{
    Object* array = allocate(sizeof(Object));
    array->length = length;
    array->elements = allocate(sizeof(jobject) * (SIZE_T)(length + 1));
    return (jobjectArray)array;
}

static jstring JNICALL new_string(JNIEnv* env, const jchar* units, jsize length)
{
    Object* string = allocate(sizeof(Object));
    string->text = allocate(sizeof(wchar_t) * (SIZE_T)(length + 1));
    for (jsize i = 0; i < length; ++i)
        string->text[i] = (wchar_t)units[i];
    return (jstring)string;
}

static void JNICALL set_element(JNIEnv* env, jobjectArray array, jsize index, jobject value)
{
    ((Object*)array)->elements[index] = value;
}

static void JNICALL call_static_void(JNIEnv* env, jclass target, jmethodID method, const jvalue* arguments)
{
    Object* array = (Object*)arguments[0].l;
    HANDLE file = open_record();
    record_text(file, "call");
    for (int i = 0; i < array->length; ++i) {
        record_text(file, "\t");
        record_wide(file, ((Object*)array->elements[i])->text);
    }
    record_text(file, "\nworking folder ");
    record_wide(file, ((Object*)arguments[1].l)->text);
    record_text(file, "\n");
    CloseHandle(file);
}

/* No exception is ever pending; references need no release. */
static jboolean JNICALL no_exception(JNIEnv* env)
{
    return JNI_FALSE;
}

static void JNICALL nothing(JNIEnv* env) {}

static void JNICALL drop_reference(JNIEnv* env, jobject reference) {}

static jint JNICALL attach(JavaVM* vm, void** env, void* arguments)
{
    *env = &environment;
    return JNI_OK;
}

static jint JNICALL detach(JavaVM* vm)
{
    return JNI_OK;
}

static struct JNINativeInterface_ functions = {
    .FindClass = find_class, .GetStaticMethodID = static_method, .NewObjectArray = new_array,
    .NewString = new_string, .SetObjectArrayElement = set_element, .CallStaticVoidMethodA = call_static_void,
    .ExceptionCheck = no_exception, .ExceptionClear = nothing, .ExceptionDescribe = nothing,
    .DeleteLocalRef = drop_reference};
static struct JNIInvokeInterface_ invocation = {.AttachCurrentThreadAsDaemon = attach, .DetachCurrentThread = detach};

jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments)
{
    environment = &functions;
    created = &invocation;
    *vm = &created;
    *env = &environment;
    return JNI_OK;
}

jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count)
{
    *count = created != NULL;
    if (created != NULL && capacity > 0)
        vms[0] = &created;
    return JNI_OK;
}
