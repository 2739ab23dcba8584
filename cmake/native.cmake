# Native build: product code compiled against the simulated Win32 in sim/, tested with the
# system GoogleTest, each test case in its own process.
option(KORVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(KORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/src/*.cpp)
add_library(korvex_sim STATIC ${SIM_SOURCES})
target_include_directories(korvex_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim/include)
target_link_libraries(korvex_sim PUBLIC Threads::Threads)

add_library(korvex_core STATIC ${KORVEX_SOURCES} ${CMAKE_SOURCE_DIR}/src/hooks/dll_main.cpp)
target_include_directories(korvex_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(korvex_core PUBLIC korvex_sim)

# One test program per file under tests/native, so that each area builds and runs by itself.
file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
file(GLOB NATIVE_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/support/*.cpp)
add_library(native_test_support STATIC ${NATIVE_TEST_SUPPORT} ${CMAKE_SOURCE_DIR}/tests/native/support/empty.cpp)
target_include_directories(native_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/native)
target_link_libraries(native_test_support PUBLIC korvex_core GTest::gtest)
foreach(source ${NATIVE_TESTS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(native_${name} ${source})
  target_link_libraries(native_${name} PRIVATE native_test_support GTest::gtest_main)
  gtest_discover_tests(native_${name} DISCOVERY_TIMEOUT 60)
endforeach()

if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
