# Windows build (MinGW-w64): the hooks DLL, the overlay-side tools and, for x86_64, the test
# programs that run under Wine.
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(KORVEX_STDCALL12 "@12")
else()
  set(KORVEX_STDCALL12 "")
endif()

# The architecture's short name, as the release archive names its folders.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(KORVEX_ARCH x86)
else()
  set(KORVEX_ARCH x64)
endif()

# Gives a target a VERSIONINFO resource carrying the project version, its file name and a
# description: korvex_version_resource(TARGET FILE_NAME VFT_DLL|VFT_APP DESCRIPTION).
enable_language(RC)
function(korvex_version_resource target file_name file_type description)
  set(KORVEX_RC_FILE_NAME ${file_name})
  set(KORVEX_RC_FILETYPE ${file_type})
  set(KORVEX_RC_DESCRIPTION ${description})
  get_filename_component(KORVEX_RC_INTERNAL_NAME ${file_name} NAME_WE)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

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
korvex_version_resource(VelKorvexHooks VelKorvexHooks.dll VFT_DLL
                        "Korvex overlay input hooks (${KORVEX_ARCH})")

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  include(cmake/wine-tests.cmake)
endif()
