# What an application outside the tree finds after `cmake --install`:
# find_package(LumraDB) with imported targets LumraDB::lmrpackN and
# LumraDB::lmrsqliteN (each carrying LMR_HOST_GENERATION), and pkg-config
# files lumradbN.pc and lumradb-sqliteN.pc (lumradb.pc and lumradb-sqlite.pc
# name the main generation).

set(LMR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/LumraDB)
install(EXPORT LumraDBTargets NAMESPACE LumraDB:: DESTINATION ${LMR_CMAKE_DIR} COMPONENT devel)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/LumraDBConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/LumraDBConfig.cmake
                              INSTALL_DESTINATION ${LMR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/LumraDBConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LumraDBConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/LumraDBConfigVersion.cmake
        DESTINATION ${LMR_CMAKE_DIR} COMPONENT devel)

# The .pc files find the prefix from their own place, so the installed tree
# may be moved (or installed with `cmake --install --prefix`).
set(LMR_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(LMR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _pc_to_prefix /root/${LMR_PC_DIR} /root)
  string(REGEX REPLACE "/$" "" _pc_to_prefix "${_pc_to_prefix}")
  set(LMR_PC_PREFIX "\${pcfiledir}/${_pc_to_prefix}")
endif()
set(LMR_PC_SANITIZE "")
if(LMR_SANITIZE)
  set(LMR_PC_SANITIZE " -fsanitize=address,undefined")
endif()

foreach(gen IN LISTS LMR_GENERATIONS)
  set(LMR_PC_GENERATION ${gen})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/lumradb.pc.in ${CMAKE_CURRENT_BINARY_DIR}/lumradb${gen}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumradb${gen}.pc DESTINATION ${LMR_PC_DIR} COMPONENT devel)
  foreach(drv IN LISTS LMR_DRIVERS)
    set(LMR_PC_DRIVER ${drv})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/lumradb-driver.pc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/lumradb-${drv}${gen}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumradb-${drv}${gen}.pc DESTINATION ${LMR_PC_DIR} COMPONENT devel)
  endforeach()
endforeach()
# Unnumbered names for the main generation.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/lumradb.pc
     "Name: LumraDB\nDescription: LumraDB for host generation ${LMR_MAIN_GENERATION} (lumradb${LMR_MAIN_GENERATION})\n"
     "Version: ${PROJECT_VERSION}\nRequires: lumradb${LMR_MAIN_GENERATION} = ${PROJECT_VERSION}\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumradb.pc DESTINATION ${LMR_PC_DIR} COMPONENT devel)
foreach(drv IN LISTS LMR_DRIVERS)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/lumradb-${drv}.pc
       "Name: LumraDB ${drv} driver\n"
       "Description: LumraDB ${drv} driver for host generation ${LMR_MAIN_GENERATION} (lumradb-${drv}${LMR_MAIN_GENERATION})\n"
       "Version: ${PROJECT_VERSION}\nRequires: lumradb-${drv}${LMR_MAIN_GENERATION} = ${PROJECT_VERSION}\n")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumradb-${drv}.pc DESTINATION ${LMR_PC_DIR} COMPONENT devel)
endforeach()
