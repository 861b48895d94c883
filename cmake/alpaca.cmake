# Finds the HTTP and JSON libraries of the Alpaca server: Debian's
# cpp-httplib (libcpp-httplib-dev) and nlohmann-json (nlohmann-json3-dev).
# For Windows, both are compiled in from their headers, which
# DIMMER_WINDOWS_HEADERS holds (windows/build.sh lays it out). Defines the
# target dimmer_httplib when both are there. The command-line programs and
# the INDI driver never link them.
if(WIN32)
  set(DIMMER_WINDOWS_HEADERS "" CACHE PATH
      "Folder with include/httplib.h, include/nlohmann and their licenses")
  if(DIMMER_WINDOWS_HEADERS AND EXISTS "${DIMMER_WINDOWS_HEADERS}/include/httplib.h")
    add_library(dimmer_httplib INTERFACE)
    target_include_directories(dimmer_httplib SYSTEM INTERFACE "${DIMMER_WINDOWS_HEADERS}/include")
    target_link_libraries(dimmer_httplib INTERFACE ws2_32)
    message(STATUS "cpp-httplib and nlohmann-json from ${DIMMER_WINDOWS_HEADERS}: the Alpaca server")
  else()
    # Built on Windows itself: vcpkg's cpp-httplib and nlohmann-json.
    find_package(httplib CONFIG QUIET)
    find_package(nlohmann_json 3 CONFIG QUIET)
    if(httplib_FOUND AND nlohmann_json_FOUND)
      add_library(dimmer_httplib INTERFACE)
      target_link_libraries(dimmer_httplib INTERFACE httplib::httplib nlohmann_json::nlohmann_json
        ws2_32)
    else()
      message(STATUS "neither DIMMER_WINDOWS_HEADERS nor cpp-httplib's package: no Alpaca server")
    endif()
  endif()
  return()
endif()
if(NOT PkgConfig_FOUND)
  find_package(PkgConfig QUIET)
endif()
if(PkgConfig_FOUND)
  pkg_check_modules(CPP_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
find_package(nlohmann_json 3 QUIET)
find_package(Threads)
if(CPP_HTTPLIB_FOUND AND nlohmann_json_FOUND)
  add_library(dimmer_httplib INTERFACE)
  target_link_libraries(dimmer_httplib INTERFACE PkgConfig::CPP_HTTPLIB nlohmann_json::nlohmann_json
    Threads::Threads)
  # Debian built the library with OpenSSL, and the inline code of its header
  # calls OpenSSL itself in later versions (Debian 13's 0.18); the server
  # links it only where that is so.
  find_package(OpenSSL QUIET)
  if(OPENSSL_FOUND)
    target_link_libraries(dimmer_httplib INTERFACE OpenSSL::Crypto)
  endif()
  message(STATUS "cpp-httplib ${CPP_HTTPLIB_VERSION}, nlohmann-json ${nlohmann_json_VERSION}: the Alpaca server")
else()
  message(STATUS "cpp-httplib or nlohmann-json not found: no Alpaca server")
endif()
