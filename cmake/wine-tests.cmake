# Test programs that run under Wine: 64-bit Wine for x86_64, the 32-bit Wine under qemu for
# i686. CTest runs them through cmake/wine-run.sh, which picks the Wine for this build folder
# and uses the prefix, display and wineserver that scripts/wine-env.sh starts for it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR})

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Wno-error)
target_compile_options(gtest_main PRIVATE -Wno-error)

include(GoogleTest)
# One test program per file under tests/wine; all land in bin/ beside the DLL and the fixtures.
file(GLOB WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(source ${WINE_TESTS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(wine_${name} ${source})
  target_include_directories(wine_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_link_libraries(wine_${name} PRIVATE korvex_core gtest gtest_main)
  add_dependencies(wine_${name} VelKorvexHooks)
  if(TARGET wine_fixtures)
    add_dependencies(wine_${name} wine_fixtures)
  endif()
  gtest_discover_tests(wine_${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endforeach()
