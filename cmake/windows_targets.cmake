# Windows: the system libraries the backends call, and the tests that run under Wine. Included
# from the top-level CMakeLists.txt after every layer is defined.
target_link_libraries(qnmuro_platform PUBLIC advapi32 comdlg32 gdi32 ole32 oleaut32 shell32 user32
                      urlmon uuid wininet)

if(QNMURO_TESTS)
  find_package(GTest REQUIRED)
  # The tests whose code and expectations hold on every platform, and the Windows backends'
  # own tests. Not here: tests of Linux backends and of the development OA server, the
  # simulated word processor's script runner and hostile-document tests (POSIX files and
  # symlinks in their fixtures), and work_path_test, whose fixture makes a folder symlink
  # (mingw's library has none).
  set(QNMURO_PORTABLE_TESTS
    base/error_test.cc common/base64_test.cc common/cipher_test.cc common/utils_test.cc
    common/velto_log_test.cc config/vocabulary_test.cc datasource/data_source_test.cc
    platform/clock_test.cc platform/form_test.cc platform/ui_terminal_test.cc platform/xml_test.cc
    simhost/fodt_format_test.cc simhost/script_parser_test.cc simhost/sim_application_test.cc
    simhost/sim_document_test.cc simhost/sim_text_test.cc simhost/transcript_test.cc
    transfer/raw_http_request.cc transfer/url_operation_test.cc)
  list(TRANSFORM QNMURO_PORTABLE_TESTS PREPEND ${CMAKE_SOURCE_DIR}/tests/)
  file(GLOB QNMURO_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.cc)
  add_executable(qnmuro_tests ${QNMURO_PORTABLE_TESTS} ${QNMURO_WIN_TESTS}
                 ${CMAKE_SOURCE_DIR}/tests/support/event_log.cc
                 ${CMAKE_SOURCE_DIR}/tests/support/shell_fake.cc)
  target_include_directories(qnmuro_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Wine shows the build machine's files on drive Z:.
  target_compile_definitions(qnmuro_tests PRIVATE QNMURO_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
  target_link_libraries(qnmuro_tests PRIVATE qnmuro_datasource qnmuro_transfer qnmuro_simhost
                        ws2_32 GTest::gtest
                        GTest::gtest_main)
endif()

# The command (its sources are listed in CMakeLists.txt). CLI11 is header-only: its headers
# come from the build machine, nothing else from there.
find_path(QNMURO_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH)
if(NOT QNMURO_CLI11_INCLUDE)
  message(FATAL_ERROR "CLI11 headers not found (Debian package libcli11-dev)")
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11)
file(CREATE_LINK ${QNMURO_CLI11_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/cli11/CLI SYMBOLIC)
add_executable(qnmuro ${QNMURO_CLI_SOURCES})
target_include_directories(qnmuro PRIVATE ${CMAKE_BINARY_DIR}/cli11)
target_link_libraries(qnmuro PRIVATE qnmuro_addin qnmuro_simhost)
set_target_properties(qnmuro PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)

# The COM server QNMuroWPS.dll and its tests.
include(${CMAKE_CURRENT_LIST_DIR}/com_server.cmake)
