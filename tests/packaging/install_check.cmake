# Installs the build into a fresh temporary prefix, builds the first program
# against the installed tree for every generation with find_package, and once
# with pkg-config, and runs each on a new database file.
#   -DBUILD_DIR= -DAPP_DIR= -DWORK_DIR= -DGENERATOR= -DCXX= -DMAIN_GENERATION=
#   -DSANITIZE=ON|OFF -DPKG_CONFIG= -DLIBDIR=
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${ARGN}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Only headers are installed as headers, and no internal driver header.
file(GLOB_RECURSE installed RELATIVE ${prefix}/include/lumradb ${prefix}/include/lumradb/*)
foreach(f IN LISTS installed)
  if(NOT f MATCHES "\\.h$" OR f MATCHES "Loader\\.h$|Cursor\\.h$")
    message(FATAL_ERROR "installed as a public header: ${f}")
  endif()
endforeach()
foreach(f LumraDB.h LmrBase/LmrSession.h LmrBasDS/LmrDataset.h host/Generation.h drivers/sqlite/SqliteSession.h)
  if(NOT EXISTS ${prefix}/include/lumradb/${f})
    message(FATAL_ERROR "public header missing from the installed tree: ${f}")
  endif()
endforeach()
file(GLOB lmr_program ${prefix}/bin/lmr)
if(NOT lmr_program)
  message(FATAL_ERROR "the lmr program is not installed")
endif()
run("the installed lmr" ${prefix}/bin/lmr --help)

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=address,undefined")
endif()

# find_package: one configure, one executable per installed generation.
set(app_build ${WORK_DIR}/app-build)
run("configuring the outside application" ${CMAKE_COMMAND} -S ${APP_DIR} -B ${app_build} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${flags}")
run("building the outside application" ${CMAKE_COMMAND} --build ${app_build} -j2)
file(STRINGS ${prefix}/${LIBDIR}/cmake/LumraDB/LumraDBConfig.cmake gen_line REGEX "LumraDB_GENERATIONS")
string(REGEX MATCHALL "[345]" generations "${gen_line}")
if(NOT generations)
  message(FATAL_ERROR "the installed LumraDBConfig.cmake names no generation")
endif()
foreach(gen IN LISTS generations)
  run("first${gen}" ${app_build}/first${gen} ${WORK_DIR}/first${gen}.db)
  message(STATUS "first${gen} (find_package):\n${run_output}")
endforeach()

# pkg-config, for the main generation, with the compiler alone.
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run("pkg-config" ${PKG_CONFIG} --cflags --libs lumradb-sqlite${MAIN_GENERATION})
  string(STRIP "${run_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  if(NOT pc_flags MATCHES "-DLMR_HOST_GENERATION=${MAIN_GENERATION}")
    message(FATAL_ERROR "lumradb-sqlite${MAIN_GENERATION}.pc does not carry LMR_HOST_GENERATION: ${pc_flags}")
  endif()
  separate_arguments(extra UNIX_COMMAND "${flags}")
  run("building with pkg-config" ${CXX} -std=c++20 ${extra} ${APP_DIR}/first.cpp -o ${WORK_DIR}/first-pc
      ${pc_flags} -Wl,-rpath,${prefix}/${LIBDIR})
  run("first-pc" ${WORK_DIR}/first-pc ${WORK_DIR}/first-pc.db)
  message(STATUS "first-pc (pkg-config):\n${run_output}")
else()
  message(STATUS "pkg-config not found: the pkg-config build is skipped")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
