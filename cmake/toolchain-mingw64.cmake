# Cross build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The programs link the compiler's run-time libraries statically, so each .exe runs on Windows,
# or under Wine, without any of the compiler's DLLs beside it. Tests run through Wine (package
# wine64), which CTest starts for each test program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex need it.
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

# Libraries and headers for Windows only; the build's tools (Wine, sh) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and the posix thread library, all linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 keeps its loader in /usr/lib/wine; other systems put wine64 or wine on PATH.
find_program(TEMPOMERE_WINE NAMES wine64 wine PATHS /usr/lib/wine
             DOC "Wine, which runs the Windows test programs")
if(TEMPOMERE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TEMPOMERE_WINE})
endif()
