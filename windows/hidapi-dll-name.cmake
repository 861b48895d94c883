# Included into HIDAPI's own build: name its DLL hidapi.dll, as HIDAPI's
# Windows releases do, rather than MinGW's libhidapi.dll.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
