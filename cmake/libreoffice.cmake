# The Writer host (src/lohost) and the qnmuro.oxt extension, built when the LibreOffice SDK is
# found: the office's C++ API headers are generated from its type libraries at build time.
set(QNMURO_LO_ROOT "/usr/lib/libreoffice" CACHE PATH "The LibreOffice installation")
set(QNMURO_LO_PROGRAM "${QNMURO_LO_ROOT}/program")
set(QNMURO_LO_SDK "${QNMURO_LO_ROOT}/sdk")
find_program(QNMURO_CPPUMAKER cppumaker HINTS "${QNMURO_LO_SDK}/bin" NO_DEFAULT_PATH)
find_library(QNMURO_LO_CPPU uno_cppu HINTS "${QNMURO_LO_SDK}/lib" NO_DEFAULT_PATH)

set(QNMURO_LIBREOFFICE_FOUND OFF)
if(QNMURO_LIBREOFFICE AND QNMURO_CPPUMAKER AND QNMURO_LO_CPPU
   AND EXISTS "${QNMURO_LO_PROGRAM}/types.rdb" AND EXISTS "${QNMURO_LO_PROGRAM}/types/offapi.rdb"
   AND EXISTS "${QNMURO_LO_PROGRAM}/soffice.bin")
  set(QNMURO_LIBREOFFICE_FOUND ON)
endif()
if(NOT QNMURO_LIBREOFFICE_FOUND)
  message(STATUS "LibreOffice SDK not found: the Writer host and qnmuro.oxt are not built")
  return()
endif()
message(STATUS "LibreOffice SDK: ${QNMURO_LO_SDK}")

set(QNMURO_UNO_GEN "${CMAKE_BINARY_DIR}/uno-gen")
add_custom_command(
  OUTPUT "${QNMURO_UNO_GEN}/stamp"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${QNMURO_UNO_GEN}/include"
  COMMAND ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${QNMURO_LO_PROGRAM}"
          ${QNMURO_CPPUMAKER} -O "${QNMURO_UNO_GEN}/include" "${QNMURO_LO_PROGRAM}/types.rdb"
          "${QNMURO_LO_PROGRAM}/types/offapi.rdb"
  COMMAND ${CMAKE_COMMAND} -E touch "${QNMURO_UNO_GEN}/stamp"
  DEPENDS "${QNMURO_LO_PROGRAM}/types.rdb" "${QNMURO_LO_PROGRAM}/types/offapi.rdb"
  COMMENT "Generating the office API's C++ headers")
add_custom_target(qnmuro_uno_headers DEPENDS "${QNMURO_UNO_GEN}/stamp")

# The UNO runtime: the SDK's headers and link libraries, found at run time where the office
# keeps them.
add_library(qnmuro_uno INTERFACE)
add_dependencies(qnmuro_uno qnmuro_uno_headers)
target_include_directories(qnmuro_uno SYSTEM INTERFACE "${QNMURO_LO_SDK}/include"
                           "${QNMURO_UNO_GEN}/include")
target_compile_definitions(qnmuro_uno INTERFACE LINUX UNX CPPU_ENV=gcc3
                           QNMURO_LO_PROGRAM="${QNMURO_LO_PROGRAM}")
target_link_directories(qnmuro_uno INTERFACE "${QNMURO_LO_SDK}/lib")
target_link_libraries(qnmuro_uno INTERFACE uno_cppuhelpergcc3 uno_cppu uno_sal uno_salhelpergcc3)
target_link_options(qnmuro_uno INTERFACE "-Wl,-rpath,${QNMURO_LO_PROGRAM}")

qnmuro_layer(lohost
  SOURCES lo_application.cc lo_document.cc lo_shapes.cc lo_text.cc uno_util.cc writer_process.cc
  DEPS addin simhost)
target_link_libraries(qnmuro_lohost PUBLIC qnmuro_uno)
target_compile_definitions(qnmuro_lohost PUBLIC QNMURO_HAVE_LIBREOFFICE=1)
