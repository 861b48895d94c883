# Finds the HTTP and JSON libraries of the Alpaca server, both header-only:
# Boost.Beast on Boost.Asio (Debian's libboost-dev) and nlohmann-json
# (nlohmann-json3-dev). For Windows, DIMMER_WINDOWS_HEADERS holds both
# (windows/build.sh lays it out). Defines the target dimmer_server_libraries
# when both are there. The command-line programs and the INDI driver never
# use them.
if(WIN32)
  set(DIMMER_WINDOWS_HEADERS "" CACHE PATH
      "Folder with include/boost, include/nlohmann and their licenses")
  if(DIMMER_WINDOWS_HEADERS AND EXISTS "${DIMMER_WINDOWS_HEADERS}/include/boost/beast.hpp")
    add_library(dimmer_server_libraries INTERFACE)
    target_include_directories(dimmer_server_libraries SYSTEM INTERFACE
      "${DIMMER_WINDOWS_HEADERS}/include")
    message(STATUS "Boost and nlohmann-json from ${DIMMER_WINDOWS_HEADERS}: the Alpaca server")
  else()
    # Built on Windows itself: vcpkg's Boost and nlohmann-json.
    find_package(Boost 1.74 QUIET)
    find_package(nlohmann_json 3 CONFIG QUIET)
    if(Boost_FOUND AND nlohmann_json_FOUND)
      add_library(dimmer_server_libraries INTERFACE)
      target_link_libraries(dimmer_server_libraries INTERFACE Boost::headers
        nlohmann_json::nlohmann_json)
    else()
      message(STATUS "neither DIMMER_WINDOWS_HEADERS nor Boost's package: no Alpaca server")
      return()
    endif()
  endif()
  # Asio's sockets (the build targets Windows 8 and later, as _WIN32_WINNT
  # says, which Asio reads too).
  # shell32: the ProgramData folder of the service.
  target_link_libraries(dimmer_server_libraries INTERFACE ws2_32 mswsock shell32)
  return()
endif()
# Boost's headers serve every architecture alike, so a cross build takes
# the machine's own.
find_path(DIMMER_BOOST_INCLUDE_DIR boost/beast.hpp)
find_package(nlohmann_json 3 QUIET)
find_package(Threads)
if(DIMMER_BOOST_INCLUDE_DIR AND nlohmann_json_FOUND)
  add_library(dimmer_server_libraries INTERFACE)
  target_include_directories(dimmer_server_libraries SYSTEM INTERFACE ${DIMMER_BOOST_INCLUDE_DIR})
  target_link_libraries(dimmer_server_libraries INTERFACE nlohmann_json::nlohmann_json
    Threads::Threads)
  message(STATUS "Boost.Beast in ${DIMMER_BOOST_INCLUDE_DIR}, nlohmann-json ${nlohmann_json_VERSION}: the Alpaca server")
else()
  message(STATUS "Boost.Beast or nlohmann-json not found: no Alpaca server")
endif()
