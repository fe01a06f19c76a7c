# Cross build of the device binary with Debian's packages: GCC for armhf
# (g++-arm-linux-gnueabihf) against musl (musl-dev:armhf), linked static so
# that nothing of the build machine's C library reaches the device. musl has
# no minimum kernel version; API-18 devices run 3.0 to 3.4 kernels.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7-a)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# musl's specs, then ours that teach them -static-pie.
set(_specs "-specs=/usr/lib/arm-linux-musleabihf/musl-gcc.specs -specs=${CMAKE_CURRENT_LIST_DIR}/musl-static-pie.specs")
set(_arm_flags "-march=armv7-a -mthumb -mfpu=neon -mfloat-abi=hard -fPIE")
set(CMAKE_C_FLAGS_INIT "${_specs} ${_arm_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_specs} ${_arm_flags}")
# No device has musl's dynamic loader, and the glibc-built libstdc++.so must
# never be picked up: everything this toolchain links is static, CMake's own
# compiler checks included. (The compile flags reach the link line too.)
# Static PIE, so the kernel loads the program at a random address; musl's
# start-up relocates it. No RELRO: musl's static start-up never applies it,
# and its page alignment alone costs 4 KiB of file.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-pie -Wl,-z,norelro -Wl,--hash-style=gnu")

# Libraries come from musl only; headers may also come from the build
# machine's /usr/include/android (android-liblog-dev), which holds no C
# library headers.
set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-linux-musleabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
