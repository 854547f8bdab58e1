# Generation 3 keeps internal what later generations export: its export
# list (nm -D --defined-only, demangled) names none of these operations,
# while a later generation's list, when one was built, names them, so the
# check is known to see what it looks for.
#   -DNM= -DPACK3= -DLATER_PACK=
cmake_minimum_required(VERSION 3.25)

set(internal "TLumraSession::AddQuery(" "TLumraSession::RemoveQuery(" "TLumraSQL::StatementToOem("
             "TLumraParam::InitValue(")

function(exports var library)
  execute_process(COMMAND ${NM} -D --defined-only -C ${library} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR out STREQUAL "")
    message(FATAL_ERROR "nm could not list the exports of ${library}: ${err}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

exports(list3 ${PACK3})
if(NOT list3 MATCHES "TLumraSession::Open\\(")
  message(FATAL_ERROR "the export list of ${PACK3} lacks the public TLumraSession::Open")
endif()
set(leaks "")
foreach(name IN LISTS internal)
  string(FIND "${list3}" "${name}" at)
  if(NOT at EQUAL -1)
    list(APPEND leaks "${name}")
  endif()
endforeach()
if(leaks)
  message(FATAL_ERROR "generation 3 exports internal operations: ${leaks}")
endif()

if(LATER_PACK)
  exports(later ${LATER_PACK})
  foreach(name IN LISTS internal)
    string(FIND "${later}" "${name}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${LATER_PACK} does not export ${name}: the check cannot see exports")
    endif()
  endforeach()
endif()
