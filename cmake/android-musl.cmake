# Cross build of the device binary for one Android ABI with Debian's packages:
# GCC for the ABI's architecture against Debian's musl for it (musl-dev:armhf,
# :arm64, :i386, and amd64's musl-dev), linked static so that nothing of the
# build machine's C library reaches the device. musl has no minimum kernel
# version; API-18 devices run 3.0 to 3.4 kernels.
#
# The ABI comes from the cache variable BOOTNOTE_ANDROID_ABI, which each
# device preset sets.
set(BOOTNOTE_ANDROID_ABI "" CACHE STRING
  "Android ABI of the device build: armeabi-v7a, arm64-v8a, x86 or x86_64")
# The compiler checks run this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BOOTNOTE_ANDROID_ABI)

# Per ABI: Debian's GCC prefix, musl's directory under /usr/lib, the name of
# musl's dynamic loader (never used: every link here is static), and the
# code generation Android's ABI rules allow.
if(BOOTNOTE_ANDROID_ABI STREQUAL "armeabi-v7a")
  # Thumb-2, VFPv3 and NEON. Hard-float calling convention inside the
  # program: being static, it shares none with anything on the device.
  set(_gnu arm-linux-gnueabihf)
  set(_musl arm-linux-musleabihf)
  set(_loader armhf)
  set(CMAKE_SYSTEM_PROCESSOR armv7-a)
  set(_abi_flags "-march=armv7-a -mthumb -mfpu=neon -mfloat-abi=hard")
elseif(BOOTNOTE_ANDROID_ABI STREQUAL "arm64-v8a")
  # ARMv8.0-A only.
  set(_gnu aarch64-linux-gnu)
  set(_musl aarch64-linux-musl)
  set(_loader aarch64)
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(_abi_flags "-march=armv8-a")
elseif(BOOTNOTE_ANDROID_ABI STREQUAL "x86")
  # i686 with up to SSSE3, floating point in SSE registers. No
  # -mstackrealign, which the NDK adds below API 24 because the platform's
  # own code there may call into an app with the stack aligned to 4 bytes
  # only: in this static program every frame below main is musl's start-up,
  # which aligns the stack to 16 bytes itself, and no handler is installed
  # that the kernel would call.
  set(_gnu i686-linux-gnu)
  set(_musl i386-linux-musl)
  set(_loader i386)
  set(CMAKE_SYSTEM_PROCESSOR i686)
  set(_abi_flags "-march=i686 -mssse3 -mfpmath=sse")
elseif(BOOTNOTE_ANDROID_ABI STREQUAL "x86_64")
  # x86-64 with up to SSE4.2 and POPCNT.
  set(_gnu x86_64-linux-gnu)
  set(_musl x86_64-linux-musl)
  set(_loader x86_64)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(_abi_flags "-msse4.2 -mpopcnt")
else()
  message(FATAL_ERROR "BOOTNOTE_ANDROID_ABI is \"${BOOTNOTE_ANDROID_ABI}\": "
    "set it to armeabi-v7a, arm64-v8a, x86 or x86_64 (or use a device preset)")
endif()

set(CMAKE_SYSTEM_NAME Linux)
# Every tool of the build by its full path under the ABI's GCC prefix, found
# now: a configure run before the cross toolchain was installed then fails
# here, naming what to install, and caches nothing of the build machine's
# own binutils (its strip cannot read the device binary) for the next run to
# reuse. FORCE, because a tree configured before this check holds them.
foreach(_tool IN ITEMS gcc g++ ar ranlib strip objcopy objdump readelf nm ld)
  string(TOUPPER "${_tool}" _var)
  string(REPLACE "G++" "CXX" _var "${_var}")
  unset(_path CACHE)
  find_program(_path ${_gnu}-${_tool} NO_CACHE)
  if(NOT _path)
    message(FATAL_ERROR "${_gnu}-${_tool} not found: install the ${BOOTNOTE_ANDROID_ABI} "
      "toolchain (scripts/install-deps.sh), then configure again")
  endif()
  set(_tool_${_var} ${_path})
  unset(_path)
endforeach()
set(CMAKE_C_COMPILER ${_tool_GCC})
set(CMAKE_CXX_COMPILER ${_tool_CXX})
foreach(_var IN ITEMS AR RANLIB STRIP OBJCOPY OBJDUMP READELF NM)
  set(CMAKE_${_var} ${_tool_${_var}} CACHE FILEPATH "${_gnu}'s ${_var}" FORCE)
endforeach()
set(CMAKE_LINKER ${_tool_LD} CACHE FILEPATH "${_gnu}'s linker" FORCE)
set(_musl_dir /usr/lib/${_musl})

# musl's specs, then ours that teach them -static-pie: written for this
# ABI's musl into the build tree.
set(MUSL_LIBDIR ${_musl_dir})
set(MUSL_LOADER /lib/ld-musl-${_loader}.so.1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/musl-static-pie.specs.in
  ${CMAKE_BINARY_DIR}/musl-static-pie.specs @ONLY)
set(_specs "-specs=${_musl_dir}/musl-gcc.specs -specs=${CMAKE_BINARY_DIR}/musl-static-pie.specs")
# No unwind tables: nothing unwinds (no exceptions), and a debugger has
# bootnote.sym. They would be about 700 bytes on x86.
set(_code_flags "-fPIE -fno-asynchronous-unwind-tables -fno-unwind-tables")
set(CMAKE_C_FLAGS_INIT "${_specs} ${_abi_flags} ${_code_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_specs} ${_abi_flags} ${_code_flags}")
# No device has musl's dynamic loader, and the glibc-built libstdc++.so must
# never be picked up: everything this toolchain links is static, CMake's own
# compiler checks included. (The compile flags reach the link line too.)
# Static PIE, so the kernel loads the program at a random address; musl's
# start-up relocates it. No RELRO: musl's static start-up never applies it,
# and its page alignment alone costs a page of file. The stack is
# non-executable whatever an input object says.
# The file is packed as tight as the page size allows: the headers and
# read-only data share the code's segment (-z noseparate-code; ARM's linker
# does so anyway, x86's would give each pages of its own: 4 to 7 KiB more),
# and the data follows the code in the file without padding to a page
# boundary (-z common-page-size=64: at most one page more of memory, up to
# 4 KiB less file). Neither makes anything both writable and executable.
# Segments aligned for 16 KiB pages on every ABI (-z max-page-size=16384):
# Android 15 and later ARM phones may use them, 32-bit programs included,
# and x86_64 emulator images emulate them. A multiple of 4 KiB, so 4 KiB
# kernels load the same file; with the packing above it costs no byte.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-pie -Wl,-z,norelro -Wl,--hash-style=gnu \
-Wl,-z,noexecstack -Wl,-z,noseparate-code -Wl,-z,common-page-size=64 -Wl,-z,max-page-size=16384")

# Libraries come from musl only; headers may also come from the build
# machine's /usr/include/android (android-liblog-dev), which holds no C
# library headers.
set(CMAKE_FIND_ROOT_PATH ${_musl_dir})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
