# 32-bit Raspberry Pi OS and Debian armhf: ARMv7, so Raspberry Pi 2 and
# later (not the ARMv6 Pi 1 and Pi Zero).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(dimmer_triple arm-linux-gnueabihf)
set(dimmer_qemu qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
