# Cross-compiling for 32-bit Windows with mingw-w64 (posix threads variant).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PELLUX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PELLUX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLUX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLUX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELLUX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One self-contained executable: no libstdc++, libgcc or libwinpthread DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
