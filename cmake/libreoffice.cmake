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
  SOURCES lo_application.cc lo_bookmark_index.cc lo_document.cc lo_events.cc lo_shapes.cc lo_text.cc
          uno_util.cc writer_process.cc)
target_link_libraries(qnmuro_lohost PUBLIC qnmuro_uno)

# qnmuro.oxt: the add-in as an extension that Writer loads in its own process. The component
# library exports only the UNO entry point, so that nothing of ours meets the office's symbols.
set(QNMURO_OXT_DIR "${CMAKE_BINARY_DIR}/oxt")
add_library(qnmuro_oxt_component SHARED
  ${CMAKE_SOURCE_DIR}/src/lohost/oxt_component.cc ${CMAKE_SOURCE_DIR}/src/lohost/lo_toolbar.cc
  ${CMAKE_SOURCE_DIR}/src/lohost/lo_ui.cc)
target_link_libraries(qnmuro_oxt_component PRIVATE qnmuro_lohost qnmuro_addin qnmuro_platform)
target_link_options(qnmuro_oxt_component PRIVATE
  "-Wl,--version-script=${CMAKE_SOURCE_DIR}/src/lohost/oxt/exports.map" "-Wl,--no-undefined"
  "-Wl,--strip-debug")
set_target_properties(qnmuro_oxt_component PROPERTIES OUTPUT_NAME qnmuro_oxt
  LIBRARY_OUTPUT_DIRECTORY "${QNMURO_OXT_DIR}" LINK_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/lohost/oxt/exports.map")
configure_file(${CMAKE_SOURCE_DIR}/src/lohost/oxt/description.xml.in
               "${QNMURO_OXT_DIR}/description.xml" @ONLY)
set(QNMURO_OXT_FILES qnmuro.components Jobs.xcu ProtocolHandler.xcu META-INF/manifest.xml)
set(QNMURO_OXT_STAGED)
foreach(file ${QNMURO_OXT_FILES})
  add_custom_command(OUTPUT "${QNMURO_OXT_DIR}/${file}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/src/lohost/oxt/${file}"
            "${QNMURO_OXT_DIR}/${file}"
    DEPENDS "${CMAKE_SOURCE_DIR}/src/lohost/oxt/${file}")
  list(APPEND QNMURO_OXT_STAGED "${QNMURO_OXT_DIR}/${file}")
endforeach()
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/qnmuro.oxt"
  COMMAND ${CMAKE_COMMAND} -E rm -f "${CMAKE_BINARY_DIR}/qnmuro.oxt"
  COMMAND ${CMAKE_COMMAND} -E tar cf "${CMAKE_BINARY_DIR}/qnmuro.oxt" --format=zip
          META-INF/manifest.xml description.xml qnmuro.components Jobs.xcu ProtocolHandler.xcu
          $<TARGET_FILE_NAME:qnmuro_oxt_component>
  WORKING_DIRECTORY "${QNMURO_OXT_DIR}"
  DEPENDS qnmuro_oxt_component ${QNMURO_OXT_STAGED} "${QNMURO_OXT_DIR}/description.xml"
  COMMENT "Packing qnmuro.oxt")
add_custom_target(qnmuro_oxt ALL DEPENDS "${CMAKE_BINARY_DIR}/qnmuro.oxt")
