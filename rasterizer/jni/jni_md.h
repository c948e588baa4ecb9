// Machine-dependent JNI definitions for 32-bit and 64-bit Windows, used with the JDK's jni.h.
// JNIEXPORT stays empty: the library's single export is named by its module-definition file,
// so that the 32-bit build exports the decorated standard-call name and nothing else.
#pragma once

#define JNIEXPORT
#define JNIIMPORT
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;
