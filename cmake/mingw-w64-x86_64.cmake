# Cross-building Norrvik for 64-bit Windows with Debian's MinGW-w64 (POSIX
# threads flavour, package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DNORRVIK_GUI=OFF
# The programs are linked statically: they need no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run under Wine; the cross build never runs its programs while building.
set(CMAKE_CROSSCOMPILING_EMULATOR "")
# The header-only libraries from the host (cmake/cross); GoogleTest is built
# from its sources (/usr/src/googletest) by tests/CMakeLists.txt.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")
