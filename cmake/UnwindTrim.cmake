# wizpak_unwind_trim_specs(VAR): writes a specs file that makes the compiler
# assemble through scripts/trim-unwind.py (the compiler's own assembler behind
# it) and sets VAR to its path; VAR is empty, with a warning, where the
# compiler's assembler step is not the one the file rewrites.
function(wizpak_unwind_trim_specs var)
  set(${var} "" PARENT_SCOPE)
  set(script ${PROJECT_SOURCE_DIR}/scripts/trim-unwind.py)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-prog-name=as
                  OUTPUT_VARIABLE assembler OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpspecs OUTPUT_VARIABLE specs)
  # The assembler step: "*invoke_as:" and its lines up to the blank one.
  if("${script}${assembler}" MATCHES " ")
    message(WARNING "unwind tables kept whole: a compiler's program line cannot name ${script} or ${assembler} (a blank in the path)")
    return()
  endif()
  string(FIND "${specs}" "*invoke_as:\n" start)
  if(start LESS 0)
    message(WARNING "unwind tables kept whole: no assembler step to rewrite in ${CMAKE_CXX_COMPILER}'s specs")
    return()
  endif()
  string(SUBSTRING "${specs}" ${start} -1 step)
  string(FIND "${step}" "\n\n" end)
  string(SUBSTRING "${step}" 0 ${end} step)
  string(REPLACE "\n as " "\n ${script} ${assembler} " rewritten "${step}")
  if(rewritten STREQUAL step)
    message(WARNING "unwind tables kept whole: ${CMAKE_CXX_COMPILER}'s assembler step is not \" as ...\"")
    return()
  endif()
  set(file ${CMAKE_BINARY_DIR}/trim-unwind.specs)
  file(WRITE ${file} "${rewritten}\n\n")
  set(${var} ${file} PARENT_SCOPE)
endfunction()
