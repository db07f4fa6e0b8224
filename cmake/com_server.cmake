# QNMuroWPS.dll, the in-process COM server: the type library compiled by widl from
# src/com/qnmurowps.idl (read in code page 936, the form its help strings take in the
# library), embedded as a resource, and the exports of src/com/qnmurowps.def.
enable_language(RC)

# Both bitnesses import the stdole2.tlb that wine64 ships: widl takes only the imported types'
# names and identities from it, so the 32-bit library comes out byte for byte as when it
# imported 32-bit Wine's own.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QNMURO_WIDL_ARCH -m64)
else()
  set(QNMURO_WIDL_ARCH -m32)
endif()
set(QNMURO_WINE_LIBS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
find_program(QNMURO_WIDL NAMES ${QNMURO_MINGW_TRIPLE}-widl widl REQUIRED)
set(QNMURO_IDL_DIR /usr/include/wine/wine/windows)
set(QNMURO_COM_GEN ${CMAKE_BINARY_DIR}/com)
file(MAKE_DIRECTORY ${QNMURO_COM_GEN})
add_custom_command(
  OUTPUT ${QNMURO_COM_GEN}/qnmurowps.h ${QNMURO_COM_GEN}/qnmurowps.tlb
  COMMAND iconv -f UTF-8 -t GBK ${CMAKE_SOURCE_DIR}/src/com/qnmurowps.idl
          > ${QNMURO_COM_GEN}/qnmurowps.idl
  COMMAND ${QNMURO_WIDL} ${QNMURO_WIDL_ARCH} -I${QNMURO_IDL_DIR} -L${QNMURO_WINE_LIBS}
          -h -o ${QNMURO_COM_GEN}/qnmurowps.h ${QNMURO_COM_GEN}/qnmurowps.idl
  COMMAND ${QNMURO_WIDL} ${QNMURO_WIDL_ARCH} -I${QNMURO_IDL_DIR} -L${QNMURO_WINE_LIBS}
          -t -o ${QNMURO_COM_GEN}/qnmurowps.tlb ${QNMURO_COM_GEN}/qnmurowps.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/src/com/qnmurowps.idl
  COMMENT "widl: the type library and header of QNMuroWPS")
add_custom_target(qnmuro_com_idl DEPENDS ${QNMURO_COM_GEN}/qnmurowps.h
                  ${QNMURO_COM_GEN}/qnmurowps.tlb)
add_dependencies(qnmuro_com qnmuro_com_idl)
target_include_directories(qnmuro_com PUBLIC ${QNMURO_COM_GEN})

configure_file(${CMAKE_SOURCE_DIR}/src/com/qnmurowps.rc ${QNMURO_COM_GEN}/qnmurowps.rc @ONLY)
set_source_files_properties(${QNMURO_COM_GEN}/qnmurowps.rc PROPERTIES
                            OBJECT_DEPENDS ${QNMURO_COM_GEN}/qnmurowps.tlb)
add_library(QNMuroWPS SHARED ${QNMURO_COM_GEN}/qnmurowps.rc ${CMAKE_SOURCE_DIR}/src/com/qnmurowps.def)
set_target_properties(QNMuroWPS PROPERTIES PREFIX "" OUTPUT_NAME QNMuroWPS LINKER_LANGUAGE CXX)
# The objects of the edge are all needed: nothing else refers to the exports.
target_link_libraries(QNMuroWPS PRIVATE -Wl,--whole-archive qnmuro_com -Wl,--no-whole-archive
                      qnmuro_addin)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The exports are named without the 32-bit stdcall decoration, as COM looks them up.
  target_link_options(QNMuroWPS PRIVATE -Wl,--enable-stdcall-fixup)
endif()

if(QNMURO_TESTS)
  # The C++ client of the registered server (its type library, calls by name, errors).
  # A host object's type library for the event tests, read from the build folder (drive Z:).
  add_custom_command(
    OUTPUT ${QNMURO_COM_GEN}/fake_host.h ${QNMURO_COM_GEN}/fake_host.tlb
    COMMAND ${QNMURO_WIDL} ${QNMURO_WIDL_ARCH} -I${QNMURO_IDL_DIR} -L${QNMURO_WINE_LIBS}
            -h -o ${QNMURO_COM_GEN}/fake_host.h ${CMAKE_SOURCE_DIR}/tests/com/fake_host.idl
    COMMAND ${QNMURO_WIDL} ${QNMURO_WIDL_ARCH} -I${QNMURO_IDL_DIR} -L${QNMURO_WINE_LIBS}
            -t -o ${QNMURO_COM_GEN}/fake_host.tlb ${CMAKE_SOURCE_DIR}/tests/com/fake_host.idl
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/com/fake_host.idl
    COMMENT "widl: the test host's type library")
  add_custom_target(qnmuro_fake_host_idl DEPENDS ${QNMURO_COM_GEN}/fake_host.h
                    ${QNMURO_COM_GEN}/fake_host.tlb)
  add_executable(qnmuro_com_tests ${CMAKE_SOURCE_DIR}/tests/com/type_library_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/class_factory_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/host_adapter_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/host_members_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/host_object.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/event_sink_test.cc)
  target_include_directories(qnmuro_com_tests PRIVATE ${QNMURO_COM_GEN})
  target_compile_definitions(qnmuro_com_tests PRIVATE
                             QNMURO_FAKE_HOST_TLB=L"Z:${QNMURO_COM_GEN}/fake_host.tlb")
  target_link_libraries(qnmuro_com_tests PRIVATE qnmuro_com GTest::gtest GTest::gtest_main)
  add_dependencies(qnmuro_com_tests qnmuro_com_idl qnmuro_fake_host_idl)

  # The word processor's side: the simulated word processor as an automation server loads the
  # registered add-in and runs a clerk's session through it, and the host conformance table
  # runs on it through the add-in's adapter. A windowed program, as the word
  # processor is, so that the add-in shows its real message boxes.
  add_executable(qnmuro_com_road WIN32 ${CMAKE_SOURCE_DIR}/tests/com/road_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/host_conformance_com_test.cc
                 ${CMAKE_SOURCE_DIR}/tests/host/host_conformance.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/sim_automation.cc
                 ${CMAKE_SOURCE_DIR}/tests/com/host_object.cc)
  target_include_directories(qnmuro_com_road PRIVATE ${QNMURO_COM_GEN} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(qnmuro_com_road PRIVATE
                             QNMURO_FAKE_HOST_TLB=L"Z:${QNMURO_COM_GEN}/fake_host.tlb")
  target_link_libraries(qnmuro_com_road PRIVATE qnmuro_com qnmuro_simhost GTest::gtest
                        GTest::gtest_main)
  add_dependencies(qnmuro_com_road qnmuro_com_idl qnmuro_fake_host_idl)
endif()
