# tarnview_embed_file(<out-var> <symbol> <file>): an assembler source that
# takes <file> in whole, between the symbols <symbol>_start and <symbol>_end,
# added to <out-var>. The object is built again whenever the file changes.
function(tarnview_embed_file out symbol file)
  set(source "${CMAKE_CURRENT_BINARY_DIR}/${symbol}.S")
  file(WRITE "${source}.in"
    "  .section .rodata\n"
    "  .global ${symbol}_start\n"
    "  .global ${symbol}_end\n"
    "  .balign 16\n"
    "${symbol}_start:\n"
    "  .incbin \"${file}\"\n"
    "${symbol}_end:\n"
    "  .byte 0\n"
    "  .section .note.GNU-stack,\"\",@progbits\n")
  configure_file("${source}.in" "${source}" COPYONLY)
  set_source_files_properties("${source}" PROPERTIES OBJECT_DEPENDS "${file}")
  set(${out} ${${out}} "${source}" PARENT_SCOPE)
endfunction()
