# 64-bit Raspberry Pi OS and Debian arm64 (Raspberry Pi 3, 4, 5).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(dimmer_triple aarch64-linux-gnu)
set(dimmer_qemu qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
