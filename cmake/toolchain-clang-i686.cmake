# Cross-compiles for i686 Windows with clang and lld on GCC's MinGW-w64 runtime, for the release
# archive (with a PDB per DLL); the rest is in toolchain-clang-mingw.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-clang-mingw.cmake)
