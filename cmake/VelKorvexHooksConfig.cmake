# CMake package of the VelKorvexHooks release archive. find_package(VelKorvexHooks) picks the
# archive's x86 or x64 half for the program being built and gives:
#   VelKorvexHooks::Overlay   the overlay-side static library (pipe endpoints, message catalogue,
#                             call stubs, hook installers, window discovery, settings, log) with
#                             its headers; link this one target
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
set(VelKorvexHooks_DLL "${_korvex_root}/${VelKorvexHooks_ARCH}/VelKorvexHooks.dll")
set(VelKorvexHooks_PEER "${_korvex_root}/${VelKorvexHooks_ARCH}/korvex-peer.exe")
unset(_korvex_root)
