# The clang release toolchains' common part, included by toolchain-clang-i686.cmake and
# toolchain-clang-x86_64.cmake after they set CMAKE_SYSTEM_PROCESSOR: clang and lld on GCC's
# MinGW-w64 runtime (its win32-thread libstdc++, so that nothing needs winpthread), for the
# release archive: lld writes a PDB for each DLL, which the usual Windows debuggers read. Debian's
# clang does not find GCC's C++ headers and libraries by itself.
set(CMAKE_SYSTEM_NAME Windows)
set(KORVEX_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(KORVEX_GCC_DIR /usr/lib/gcc/${KORVEX_TRIPLE}/12-win32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${KORVEX_TRIPLE})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${KORVEX_TRIPLE})
set(CMAKE_RC_COMPILER ${KORVEX_TRIPLE}-windres)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${KORVEX_GCC_DIR}/include/c++
                                           ${KORVEX_GCC_DIR}/include/c++/${KORVEX_TRIPLE})
foreach(kind EXE SHARED MODULE)
  # The compile flags reach the link too, where -gcodeview has nothing to do.
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-fuse-ld=lld -L${KORVEX_GCC_DIR} -Wno-unused-command-line-argument")
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/${KORVEX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
