# Code built for one generation never meets another generation's library:
# the same file compiles and links against the pack of its own generation,
# fails to compile without LMR_HOST_GENERATION, and fails to link against a
# pack of another generation; code that uses a driver links against the
# driver of its own generation and not against another generation's one.
#   -DCXX= -DSOURCE_DIR= -DPROBE= -DPACK= -DGENERATION= -DOTHER= -DWORK_DIR= -DFLAGS=
#   -DDRIVER_PROBE= -DDRIVER= -DOTHER_DRIVER= (the last may be empty)
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
separate_arguments(flags UNIX_COMMAND "${FLAGS}")

function(build result_var define)
  build_with(rc "${define}" ${PROBE} ${PACK})
  set(${result_var} ${rc} PARENT_SCOPE)
  set(build_output "${build_output}" PARENT_SCOPE)
endfunction()

function(build_with result_var define source)
  execute_process(COMMAND ${CXX} -std=c++20 ${flags} ${define} -I${SOURCE_DIR} ${source} ${ARGN}
                          -o ${WORK_DIR}/probe
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result_var} ${rc} PARENT_SCOPE)
  set(build_output "${out}${err}" PARENT_SCOPE)
endfunction()

build(rc -DLMR_HOST_GENERATION=${GENERATION})
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "code of generation ${GENERATION} does not build against its own pack:\n${build_output}")
endif()

build(rc "")
if(rc EQUAL 0 OR NOT build_output MATCHES "error: #error \"LMR_HOST_GENERATION is not defined")
  message(FATAL_ERROR "code without LMR_HOST_GENERATION was not stopped by the compiler:\n${build_output}")
endif()

build(rc -DLMR_HOST_GENERATION=7)
if(rc EQUAL 0 OR NOT build_output MATCHES "LMR_HOST_GENERATION must be 5, 4 or 3")
  message(FATAL_ERROR "code for a generation that does not exist was not stopped:\n${build_output}")
endif()

build(rc -DLMR_HOST_GENERATION=${OTHER})
if(rc EQUAL 0 OR NOT build_output MATCHES "undefined reference to `lmr_host_generation_${OTHER}'")
  message(FATAL_ERROR "code of generation ${OTHER} linked against the pack of generation ${GENERATION}:\n${build_output}")
endif()

if(DRIVER)
  build_with(rc -DLMR_HOST_GENERATION=${GENERATION} ${DRIVER_PROBE} ${DRIVER} ${PACK})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "code of generation ${GENERATION} does not build against its own driver:\n${build_output}")
  endif()
  if(OTHER_DRIVER)
    build_with(rc -DLMR_HOST_GENERATION=${GENERATION} ${DRIVER_PROBE} ${OTHER_DRIVER} ${PACK})
    if(rc EQUAL 0 OR NOT build_output MATCHES "undefined reference to `lmr_sqlite_generation_${GENERATION}'")
      message(FATAL_ERROR "code of generation ${GENERATION} linked against another generation's driver:\n${build_output}")
    endif()
  endif()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
