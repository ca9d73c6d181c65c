# Cross build for 64-bit Windows with MinGW-w64 (POSIX threads, so that
# std::thread and std::mutex work):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The programs are linked statically: they run with no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# MinGW's GCC 12 warns wrongly of overlapping copies inside std::string
# concatenation at -O2 (a known false positive of that release).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Windows 8 and later: WSAPoll, GetFileInformationByHandleEx, SHGetKnownFolderPath.
add_compile_definitions(_WIN32_WINNT=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
# Tests run the programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
