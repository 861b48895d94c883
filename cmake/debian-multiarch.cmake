# Cross-building for another Debian architecture on Debian, with that
# architecture's libraries installed beside the machine's own (multiarch),
# and INDI's development files, which cannot be installed so, unpacked into
# a staging folder (-DDIMMER_CROSS_STAGING=...). Included by the toolchain file of
# each architecture, which sets dimmer_triple and dimmer_qemu first;
# scripts/cross-build.sh prepares it all.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${dimmer_triple}-gcc)
set(CMAKE_CXX_COMPILER ${dimmer_triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${dimmer_triple})
# The multiarch root is the machine's own root: its libraries for this
# architecture live in /usr/lib/${dimmer_triple}.
set(CMAKE_FIND_ROOT_PATH / ${DIMMER_CROSS_STAGING})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DIMMER_CROSS_STAGING)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Else pkg-config hands over the machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${dimmer_triple}/pkgconfig:/usr/share/pkgconfig)
# There is no binfmt_misc here: programs of this architecture run through
# the emulator, the tests' own and the programs they start alike.
find_program(DIMMER_QEMU_USER ${dimmer_qemu})
if(DIMMER_QEMU_USER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DIMMER_QEMU_USER})
endif()
