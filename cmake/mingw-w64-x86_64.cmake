# Cross-building the Windows programs on Debian with mingw-w64. The -posix
# flavour: its C++ library has the threads that GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages such as HIDAPI may be installed anywhere, e.g. by CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# The compiler's runtime (libstdc++, libgcc, winpthread) goes into each
# executable, so the programs need no DLL beside them but hidapi.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Under Wine, when it is there, so the tests run here.
find_program(DIMMER_WINE wine)
if(DIMMER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DIMMER_WINE})
endif()
