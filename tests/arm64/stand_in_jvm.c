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
static int exists;
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
    (void)env;
    record_line("find-class ", name);
    return (jclass)&class_object;
}

static jmethodID JNICALL static_method(JNIEnv* env, jclass target, const char* name, const char* signature)
{
    (void)env, (void)target;
    record_line("method ", name);
    record_line("signature ", signature);
    return (jmethodID)&class_object;
}

static jobjectArray JNICALL new_array(JNIEnv* env, jsize length, jclass type, jobject initial)
{
    (void)env, (void)type, (void)initial;
    Object* array = allocate(sizeof(Object));
    array->length = length;
    array->elements = allocate(sizeof(jobject) * (SIZE_T)(length + 1));
    return (jobjectArray)array;
}

static jstring JNICALL new_string(JNIEnv* env, const jchar* units, jsize length)
{
    (void)env;
    Object* string = allocate(sizeof(Object));
    string->text = allocate(sizeof(wchar_t) * (SIZE_T)(length + 1));
    for (jsize i = 0; i < length; ++i)
        string->text[i] = (wchar_t)units[i];
    return (jstring)string;
}

static void JNICALL set_element(JNIEnv* env, jobjectArray array, jsize index, jobject value)
{
    (void)env;
    ((Object*)array)->elements[index] = value;
}

static void JNICALL call_static_void(JNIEnv* env, jclass target, jmethodID method, const jvalue* arguments)
{
    (void)env, (void)target, (void)method;
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

static jboolean JNICALL no_exception(JNIEnv* env)
{
    (void)env;
    return JNI_FALSE;
}

static void JNICALL nothing(JNIEnv* env)
{
    (void)env;
}

static void JNICALL drop_reference(JNIEnv* env, jobject reference)
{
    (void)env, (void)reference;
}

static jint JNICALL attach(JavaVM* vm, void** env, void* arguments)
{
    (void)vm, (void)arguments;
    *env = &environment;
    return JNI_OK;
}

static jint JNICALL detach(JavaVM* vm)
{
    (void)vm;
    return JNI_OK;
}

static struct JNINativeInterface_ functions;
static struct JNIInvokeInterface_ invocation;

jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments)
{
    (void)arguments;
    functions.FindClass = find_class;
    functions.GetStaticMethodID = static_method;
    functions.NewObjectArray = new_array;
    functions.NewString = new_string;
    functions.SetObjectArrayElement = set_element;
    functions.CallStaticVoidMethodA = call_static_void;
    functions.ExceptionCheck = no_exception;
    functions.ExceptionClear = nothing;
    functions.ExceptionDescribe = nothing;
    functions.DeleteLocalRef = drop_reference;
    invocation.AttachCurrentThreadAsDaemon = attach;
    invocation.DetachCurrentThread = detach;
    environment = &functions;
    created = &invocation;
    exists = 1;
    *vm = &created;
    *env = &environment;
    return JNI_OK;
}

jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count)
{
    *count = exists;
    if (exists && capacity > 0)
        vms[0] = &created;
    return JNI_OK;
}
