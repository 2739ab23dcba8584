# Windows build (MinGW-w64): the hooks DLL, the overlay-side tools and the test programs that
# run under Wine (64-bit Wine for x86_64, the private 32-bit Wine under qemu for i686).
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# KORVEX_ARCH names this architecture's folders in the release archive.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(KORVEX_STDCALL12 "@12")
  set(wine_arch win32)
  set(KORVEX_ARCH x86)
else()
  set(KORVEX_STDCALL12 "")
  set(wine_arch win64)
  set(KORVEX_ARCH x64)
endif()
# Read by scripts/wine-common.sh to run this folder's programs under the matching Wine.
set(KORVEX_WINE_ARCH ${wine_arch} CACHE INTERNAL "Wine that runs this build: win32 or win64")

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

# The overlay-side objects, shared by the DLL and by the static library the tools link. The
# library is also the C++ overlay-side library of the release (libVelKorvexOverlayCpp.a,
# imported by the CMake package as VelKorvexHooks::Overlay); the hooks' own code stays in the DLL.
add_library(korvex_objs OBJECT ${KORVEX_OVERLAY_SOURCES})
target_include_directories(korvex_objs PUBLIC ${CMAKE_SOURCE_DIR}/src)

add_library(korvex_core STATIC $<TARGET_OBJECTS:korvex_objs>)
target_include_directories(korvex_core PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/src>
                                              $<INSTALL_INTERFACE:include>)
target_link_libraries(korvex_core PUBLIC user32 advapi32)
# A program that links the library links GCC's runtime (libgcc, libstdc++, winpthread) into
# itself, so that it needs no runtime DLL beside it; only -static does that for winpthread.
target_link_options(korvex_core INTERFACE -static)
set_target_properties(korvex_core PROPERTIES OUTPUT_NAME VelKorvexOverlayCpp EXPORT_NAME Overlay)

# Release builds with clang and lld (KORVEX_PDB) write a PDB for each DLL; the DLL records only
# its file name, so a debugger finds it beside the DLL or on a symbol path.
function(korvex_pdb target pdb_name)
  if(KORVEX_PDB)
    target_link_options(${target} PRIVATE -Wl,--pdb=${CMAKE_BINARY_DIR}/bin/${pdb_name}
                        "-Wl,-Xlink=-pdbaltpath:%_PDB%")
    install(FILES ${CMAKE_BINARY_DIR}/bin/${pdb_name} DESTINATION ${KORVEX_ARCH})
  endif()
endfunction()

configure_file(${CMAKE_SOURCE_DIR}/src/hooks/exports.def.in ${CMAKE_BINARY_DIR}/exports.def @ONLY)
add_library(VelKorvexHooks SHARED $<TARGET_OBJECTS:korvex_objs> ${KORVEX_HOOKS_SOURCES}
            ${CMAKE_SOURCE_DIR}/src/hooks/dll_main.cpp ${CMAKE_BINARY_DIR}/exports.def)
target_include_directories(VelKorvexHooks PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(VelKorvexHooks PRIVATE user32 advapi32)
set_target_properties(VelKorvexHooks PROPERTIES PREFIX "" OUTPUT_NAME VelKorvexHooks)
korvex_version_resource(VelKorvexHooks VelKorvexHooks.dll VFT_DLL
                        "Korvex overlay input hooks (${KORVEX_ARCH})")
korvex_pdb(VelKorvexHooks VelKorvexHooks.pdb)
if(KORVEX_PDB)
  # lld names the export table after the output file and not after the .def's LIBRARY line, so
  # this build links InjectedDLL.dll, which installs as VelKorvexHooks.dll.
  set_target_properties(VelKorvexHooks PROPERTIES OUTPUT_NAME InjectedDLL)
endif()

add_subdirectory(src/overlay)

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()

include(cmake/wine-tests.cmake)

# What the release archive holds (scripts/release.sh installs both architectures into one tree):
# <arch>/ the DLLs (with their PDBs from a KORVEX_PDB build) and korvex-peer.exe, lib/<arch>/
# the C++ library and the C interface's import libraries, include/ the headers,
# lib/cmake/VelKorvexHooks/ the package, docs/ (what an overlay developer reads), LICENSE,
# CHANGELOG.md, README.md (docs/archive-readme.md) and examples/ (the sample overlay).
set(KORVEX_PUBLIC_HEADERS link/pipe.h link/messages.h link/record_codec.h link/record_reader.h
    binding/hook_stubs.h binding/hook_install.h binding/render_proxy.h discovery/window_discovery.h
    discovery/output_settings.h log/log_file.h)
foreach(header ${KORVEX_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/src/${header} DESTINATION include/${folder})
endforeach()
install(FILES $<TARGET_FILE:VelKorvexHooks> DESTINATION ${KORVEX_ARCH} RENAME VelKorvexHooks.dll)
install(TARGETS korvex_core EXPORT VelKorvexHooks-${KORVEX_ARCH} ARCHIVE DESTINATION lib/${KORVEX_ARCH})
install(EXPORT VelKorvexHooks-${KORVEX_ARCH} NAMESPACE VelKorvexHooks::
        DESTINATION lib/cmake/VelKorvexHooks)
include(CMakePackageConfigHelpers)
# The same version file serves both architectures, so it must not compare pointer sizes.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VelKorvexHooksConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/VelKorvexHooksConfig.cmake
        ${CMAKE_BINARY_DIR}/VelKorvexHooksConfigVersion.cmake DESTINATION lib/cmake/VelKorvexHooks)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/docs/integration.md ${CMAKE_SOURCE_DIR}/docs/protocol.md
        DESTINATION docs)
install(FILES ${CMAKE_SOURCE_DIR}/docs/archive-readme.md DESTINATION . RENAME README.md)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION examples)
