# Windows build (MinGW-w64): the hooks DLL, the overlay-side tools and the test programs that
# run under Wine (64-bit Wine for x86_64, the private 32-bit Wine under qemu for i686).
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(KORVEX_STDCALL12 "@12")
  set(wine_arch win32)
else()
  set(KORVEX_STDCALL12 "")
  set(wine_arch win64)
endif()
# Read by scripts/wine-common.sh to run this folder's programs under the matching Wine.
set(KORVEX_WINE_ARCH ${wine_arch} CACHE INTERNAL "Wine that runs this build: win32 or win64")

# The product objects, shared by the DLL and by the static library the tools link.
add_library(korvex_objs OBJECT ${KORVEX_SOURCES})
target_include_directories(korvex_objs PUBLIC ${CMAKE_SOURCE_DIR}/src)

add_library(korvex_core STATIC $<TARGET_OBJECTS:korvex_objs>)
target_include_directories(korvex_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(korvex_core PUBLIC user32 advapi32)

configure_file(${CMAKE_SOURCE_DIR}/src/hooks/exports.def.in ${CMAKE_BINARY_DIR}/exports.def @ONLY)
add_library(VelKorvexHooks SHARED $<TARGET_OBJECTS:korvex_objs>
            ${CMAKE_SOURCE_DIR}/src/hooks/dll_main.cpp ${CMAKE_BINARY_DIR}/exports.def)
target_include_directories(VelKorvexHooks PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(VelKorvexHooks PRIVATE user32 advapi32)
set_target_properties(VelKorvexHooks PROPERTIES PREFIX "" OUTPUT_NAME VelKorvexHooks)

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()

include(cmake/wine-tests.cmake)
