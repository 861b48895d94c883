# Finds the HTTP and JSON libraries of the Alpaca server: Debian's
# cpp-httplib (libcpp-httplib-dev) and nlohmann-json (nlohmann-json3-dev).
# Defines the target dimmer_httplib when both are there. The command-line
# programs and the INDI driver never link them.
if(NOT PkgConfig_FOUND AND NOT WIN32)
  find_package(PkgConfig QUIET)
endif()
if(PkgConfig_FOUND AND NOT WIN32)
  pkg_check_modules(CPP_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
find_package(nlohmann_json 3 QUIET)
find_package(Threads)
if(CPP_HTTPLIB_FOUND AND nlohmann_json_FOUND)
  add_library(dimmer_httplib INTERFACE)
  target_link_libraries(dimmer_httplib INTERFACE PkgConfig::CPP_HTTPLIB nlohmann_json::nlohmann_json
    Threads::Threads)
  message(STATUS "cpp-httplib ${CPP_HTTPLIB_VERSION}, nlohmann-json ${nlohmann_json_VERSION}: the Alpaca server")
else()
  message(STATUS "cpp-httplib or nlohmann-json not found: no Alpaca server")
endif()
