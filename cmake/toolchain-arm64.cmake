# Windows on ARM64 (aarch64-w64-mingw32) with Debian's clang 14 and lld: GCC has no such target,
# and Debian ships no C runtime, compiler runtime or C++ library for it. Code is compiled against
# the MinGW-w64 headers (never the host's /usr/include) and, for the few header-only C++ library
# headers the sources include, against the x86-64 MinGW compiler's libstdc++ headers. Nothing is
# linked by default: the import libraries and the few runtime pieces come from arm64/.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(KELVO_TRIPLE aarch64-w64-mingw32)
set(llvm /usr/lib/llvm-14/bin)
set(CMAKE_C_COMPILER ${llvm}/clang)
set(CMAKE_CXX_COMPILER ${llvm}/clang++)
set(CMAKE_ASM_COMPILER ${llvm}/clang)
set(CMAKE_C_COMPILER_TARGET ${KELVO_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${KELVO_TRIPLE})
set(CMAKE_ASM_COMPILER_TARGET ${KELVO_TRIPLE})
set(CMAKE_RC_COMPILER ${llvm}/llvm-windres)
set(CMAKE_AR ${llvm}/llvm-ar)
set(CMAKE_RANLIB ${llvm}/llvm-ranlib)
set(CMAKE_OBJDUMP ${llvm}/llvm-objdump)
set(KELVO_DLLTOOL ${llvm}/llvm-dlltool)
# Compiler checks build a library: a program cannot link before the import libraries exist.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(libstdcxx /usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++)
set(CMAKE_C_FLAGS_INIT "-Wno-unused-command-line-argument -nostdlibinc -isystem /usr/share/mingw-w64/include")
set(CMAKE_CXX_FLAGS_INIT
  "-Wno-unused-command-line-argument -nostdlibinc -isystem ${libstdcxx} -isystem ${libstdcxx}/x86_64-w64-mingw32 -isystem /usr/share/mingw-w64/include -fno-exceptions -fno-rtti")
set(CMAKE_ASM_FLAGS_INIT "-nostdlibinc")
# No time stamp in the binaries, so that two builds of one commit are identical.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,--no-insert-timestamp")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
# Resources: llvm-windres preprocesses with this clang, for the same target and headers.
set(CMAKE_RC_FLAGS_INIT "--target=${KELVO_TRIPLE} -I/usr/share/mingw-w64/include --preprocessor-arg=-nostdlibinc")
