# Finds the system's HIDAPI. Defines two targets:
#   dimmer_hidapi_headers - only the header, for code that may be linked
#                           against the simulated dimmer instead;
#   dimmer_hidapi         - the header and the shared library itself.
# Linux: pkg-config's hidapi-hidraw (Debian's libhidapi-dev). Elsewhere, or
# without that module: hidapi's own CMake package, as vcpkg installs it (on
# Windows, DIMMER_HIDAPI_DLL is then the hidapi.dll to ship).
# The code includes <hidapi/hidapi.h>, never a bare <hidapi.h>: INDI ships a
# hidapi.h of its own, which the INDI driver's include path also reaches.
if(NOT WIN32)
  find_package(PkgConfig QUIET)
endif()
if(PkgConfig_FOUND)
  pkg_check_modules(HIDAPI_HIDRAW QUIET IMPORTED_TARGET hidapi-hidraw)
endif()

add_library(dimmer_hidapi_headers INTERFACE)
add_library(dimmer_hidapi INTERFACE)
if(HIDAPI_HIDRAW_FOUND)
  set(hidapi_header_dirs ${HIDAPI_HIDRAW_INCLUDE_DIRS})
  target_link_libraries(dimmer_hidapi INTERFACE PkgConfig::HIDAPI_HIDRAW)
else()
  find_package(hidapi REQUIRED)
  get_target_property(hidapi_header_dirs hidapi::include INTERFACE_INCLUDE_DIRECTORIES)
  target_link_libraries(dimmer_hidapi INTERFACE hidapi::hidapi)
  # On Windows the DLL ships beside the programs, with its license.
  if(WIN32 AND TARGET hidapi::winapi)
    set(DIMMER_HIDAPI_DLL $<TARGET_FILE:hidapi::winapi>)
    set(DIMMER_HIDAPI_LICENSE "" CACHE FILEPATH
        "HIDAPI's BSD-style license text (LICENSE-bsd.txt), shipped beside hidapi.dll")
  endif()
endif()
# The folders that hold hidapi/hidapi.h: those above the header's own.
foreach(dir IN LISTS hidapi_header_dirs)
  get_filename_component(parent "${dir}" DIRECTORY)
  target_include_directories(dimmer_hidapi_headers INTERFACE "${parent}")
endforeach()
target_link_libraries(dimmer_hidapi INTERFACE dimmer_hidapi_headers)
