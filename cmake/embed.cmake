# Assets kept as files (the setup page's HTML, style and script) and
# compiled into a program.
#   dimmer_embed(TARGET SYMBOL FILE)
# adds to TARGET the definition of `extern const char SYMBOL[];`, FILE's
# bytes followed by a NUL, rebuilt whenever FILE changes.
set(DIMMER_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_file.cmake)

function(dimmer_embed target symbol file)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cc)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${output} -DSYMBOL=${symbol}
      -P ${DIMMER_EMBED_SCRIPT}
    DEPENDS ${file} ${DIMMER_EMBED_SCRIPT}
    COMMENT "Embedding ${file}" VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
