# Finds INDI's driver library and headers, for the INDI driver: Debian's
# libindi-dev, or another INDI found through CMAKE_PREFIX_PATH (such as the
# 2.x build of indi/build-indi2.sh). Defines the target dimmer_indi and
# DIMMER_INDI_VERSION when it is found. The command-line programs never
# link it.
find_path(DIMMER_INDI_INCLUDE_DIR indiapi.h PATH_SUFFIXES libindi)
find_library(DIMMER_INDI_DRIVER_LIBRARY indidriver)
if(DIMMER_INDI_INCLUDE_DIR AND DIMMER_INDI_DRIVER_LIBRARY)
  # In indiapi.h up to 1.9, in indiversion.h (which indiapi.h includes) later.
  file(STRINGS "${DIMMER_INDI_INCLUDE_DIR}/indiapi.h" version_lines
       REGEX "#define INDI_VERSION_(MAJOR|MINOR|RELEASE) ")
  if(NOT version_lines)
    file(STRINGS "${DIMMER_INDI_INCLUDE_DIR}/indiversion.h" version_lines
         REGEX "#define INDI_VERSION_(MAJOR|MINOR|RELEASE) ")
  endif()
  set(DIMMER_INDI_VERSION "")
  foreach(line IN LISTS version_lines)
    string(REGEX REPLACE ".* ([0-9]+)$" "\\1" number "${line}")
    list(APPEND DIMMER_INDI_VERSION ${number})
  endforeach()
  list(JOIN DIMMER_INDI_VERSION "." DIMMER_INDI_VERSION)
  add_library(dimmer_indi INTERFACE)
  target_include_directories(dimmer_indi INTERFACE ${DIMMER_INDI_INCLUDE_DIR})
  target_link_libraries(dimmer_indi INTERFACE ${DIMMER_INDI_DRIVER_LIBRARY})
  get_filename_component(DIMMER_INDI_BIN_DIR "${DIMMER_INDI_INCLUDE_DIR}/../../bin" ABSOLUTE)
  message(STATUS "INDI ${DIMMER_INDI_VERSION}: ${DIMMER_INDI_DRIVER_LIBRARY}")
else()
  message(STATUS "INDI's driver library not found: no INDI driver")
endif()

# For a directory whose code uses a C++ library of the system's through an
# interface with time_t in it (INDI's): the system's default,
# which the library was built with. No time_t crosses the dimmer code's own
# interface, so it may be linked in all the same.
macro(dimmer_use_system_time_bits)
  get_directory_property(definitions COMPILE_DEFINITIONS)
  list(REMOVE_ITEM definitions _TIME_BITS=64 _FILE_OFFSET_BITS=64)
  set_directory_properties(PROPERTIES COMPILE_DEFINITIONS "${definitions}")
endmacro()
