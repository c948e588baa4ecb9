# Shared by both MinGW-w64 toolchains: set KELVO_TRIPLE before including.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KELVO_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVO_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVO_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KELVO_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${KELVO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Binaries may import Windows system DLLs only, and carry no link time stamp
# so that two builds of one commit are identical.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
