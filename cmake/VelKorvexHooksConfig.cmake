# CMake package of the VelKorvexHooks release archive. find_package(VelKorvexHooks) picks the
# archive's x86 or x64 half for the program being built and gives:
#   VelKorvexHooks::OverlayC  the C interface: VelKorvexOverlay.h and VelKorvexOverlay.dll, with
#                             the import library for the compiler in use (MSVC's .lib, or
#                             MinGW's .dll.a); any compiler
#   VelKorvexHooks::Overlay   the C++ overlay-side static library (pipe endpoints, message
#                             catalogue, call stubs, hook installers, window discovery, settings,
#                             log) with its headers; MinGW-w64 GCC only, links with -static
#   VelKorvexHooks_DLL        the hooks DLL of that architecture, to ship beside the program
#   VelKorvexHooks_PEER       korvex-peer.exe of that architecture (a debugging stand-in)
#   VelKorvexHooks_ARCH       x86 or x64
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VelKorvexHooks_ARCH x64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VelKorvexHooks_ARCH x86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x64)$")
  set(VelKorvexHooks_ARCH x64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86|X86)$")
  set(VelKorvexHooks_ARCH x86)
else()
  set(VelKorvexHooks_FOUND FALSE)
  set(VelKorvexHooks_NOT_FOUND_MESSAGE
      "VelKorvexHooks is for x86 and x64 Windows; no C/C++ language is enabled or the target "
      "processor '${CMAKE_SYSTEM_PROCESSOR}' is neither")
  return()
endif()

if(NOT TARGET VelKorvexHooks::Overlay)
  include(${CMAKE_CURRENT_LIST_DIR}/VelKorvexHooks-${VelKorvexHooks_ARCH}.cmake)
endif()
get_filename_component(_korvex_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET VelKorvexHooks::OverlayC)
  add_library(VelKorvexHooks::OverlayC SHARED IMPORTED)
  if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
    set(_korvex_implib VelKorvexOverlay.lib)
  else()
    set(_korvex_implib libVelKorvexOverlay.dll.a)
  endif()
  set_target_properties(VelKorvexHooks::OverlayC PROPERTIES
    IMPORTED_LOCATION "${_korvex_root}/${VelKorvexHooks_ARCH}/VelKorvexOverlay.dll"
    IMPORTED_IMPLIB "${_korvex_root}/lib/${VelKorvexHooks_ARCH}/${_korvex_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_korvex_root}/include")
  unset(_korvex_implib)
endif()
set(VelKorvexHooks_DLL "${_korvex_root}/${VelKorvexHooks_ARCH}/VelKorvexHooks.dll")
set(VelKorvexHooks_PEER "${_korvex_root}/${VelKorvexHooks_ARCH}/korvex-peer.exe")
unset(_korvex_root)
