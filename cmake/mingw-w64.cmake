# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads
# variant, which std::thread and GoogleTest need). Test programs run under
# Wine in a private prefix inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARROW_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARROW_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARROW_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARROW_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARROW_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables carry their runtime, so each runs from a folder on its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
