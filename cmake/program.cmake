# The programs are started again and again by automation, so each run's own
# cost matters: their code uses neither exceptions nor RTTI, and so needs no
# C++ runtime library; what little of it might be linked is linked
# statically, and libraries that nothing uses are not loaded at all.

# For the libraries that make up a program.
function(dimmer_program_code target)
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  endif()
endfunction()

# For a program itself.
function(dimmer_program target)
  dimmer_program_code(${target})
  if(DIMMER_HIDAPI_DLL)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${DIMMER_HIDAPI_DLL} $<TARGET_FILE_DIR:${target}>)
  endif()
  if(NOT MSVC AND NOT DIMMER_SANITIZE)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    if(NOT APPLE AND NOT WIN32)
      target_link_options(${target} PRIVATE -Wl,--as-needed)
    endif()
  endif()
endfunction()
