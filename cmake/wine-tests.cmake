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

# The product's code as the white-box tests link it, the hooks' own code included, compiled with
# UndefinedBehaviorSanitizer in trap mode: no run-time library is needed, and a finding ends the
# program with an illegal instruction (c000001d). The DLL the black-box tests load is the one
# that ships, built without it.
set(KORVEX_TEST_SANITIZE -fsanitize=undefined -fsanitize-undefined-trap-on-error)
add_library(korvex_test_core STATIC ${KORVEX_OVERLAY_SOURCES} ${KORVEX_HOOKS_SOURCES})
target_include_directories(korvex_test_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(korvex_test_core PUBLIC ${KORVEX_TEST_SANITIZE})
target_link_libraries(korvex_test_core PUBLIC user32 advapi32)

# What the test programs share (tests/wine/support).
file(GLOB WINE_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/support/*.cpp)
add_library(wine_test_support STATIC ${WINE_TEST_SUPPORT})
target_include_directories(wine_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/wine
                                                    ${CMAKE_SOURCE_DIR}/tools/render-proxy)
target_link_libraries(wine_test_support PUBLIC korvex_test_core gtest)

include(GoogleTest)
# One test program per file under tests/wine; all land in bin/ beside the DLL and the fixtures.
file(GLOB WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(source ${WINE_TESTS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(wine_${name} ${source})
  target_link_libraries(wine_${name} PRIVATE wine_test_support gtest_main)
  add_dependencies(wine_${name} VelKorvexHooks wine_fixtures)
  gtest_discover_tests(wine_${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endforeach()
# The end-to-end test hooks Wine's own notepad: the real program from the library folder of the
# Wine that runs this build (the prefix's system32 holds only a placeholder).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(wine_notepad ${CMAKE_SOURCE_DIR}/build/wine32/root/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe)
else()
  set(wine_notepad /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe)
endif()
target_compile_definitions(wine_end_to_end_test PRIVATE KORVEX_WINE_NOTEPAD="Z:${wine_notepad}")
