# Windows: the system libraries the backends call, and the tests that run under Wine. Included
# from the top-level CMakeLists.txt after every layer is defined.
target_link_libraries(qnmuro_platform PUBLIC advapi32 comdlg32 gdi32 ole32 oleaut32 shell32 user32
                      urlmon uuid wininet)

if(QNMURO_TESTS)
  find_package(GTest REQUIRED)
  # Every test file, as in the Linux build, less those that cannot hold here, each for its
  # reason. The Windows backends' own tests (tests/windows) come with the rest.
  file(GLOB_RECURSE QNMURO_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cc)
  set(QNMURO_POSIX_ONLY_TESTS
    # The COM server's tests are their own binary (com_server.cmake).
    "com/.*"
    # The Writer host runs only where LibreOffice does.
    "lohost/.*"
    # The development OA server, and the fixtures that start it, are Linux-only.
    "oaserver/.*" "host/host_conformance_test.cc" "datasource/merge_test.cc"
    "addin/(full_disk|registry_faults|run_addin|save_close|save_rounds|server_death)_test.cc"
    "addin/wps_addin_test.cc"
    "workflow/(document_modes|red_head|revision_lock)_test.cc"
    "commands/(file_insertion|original_draft|report_insertion|seal_stamp|template_change)_test.cc"
    "transfer/(agent|http_download|http_upload|pending_scenarios|pending_uploads)_test.cc"
    "transfer/(url_request|version_tags)_test.cc"
    # They run the Linux command (tests/support/cli_runner.h).
    "cli/.*" "addin/toolbar_example_test.cc"
    # Linux backends: the registry file, the POSIX shell, libcurl over OpenSSL.
    "platform/(registry_store|shell|http_client_curl|http_client_tls)_test.cc" "common/registry_test.cc"
    "common/identity_test.cc"
    # The code page from the environment (QNMURO_CODEPAGE): on Windows it is the system's.
    "base/text_test.cc"
    # Edits a control file through libxml2's own tree to make the broken ones.
    "config/config_test.cc"
    # POSIX files in their fixtures: symlinks, FIFOs, permissions, a replaced open file, a folder
    # link (mingw's library makes none).
    "platform/file_io_test.cc" "datasource/replaced_while_read_test.cc"
    "simhost/(hostile_documents|script_runner)_test.cc" "transfer/work_path_test.cc"
    # Reads the source tree's include lines with POSIX paths.
    "layers_test.cc")
  list(JOIN QNMURO_POSIX_ONLY_TESTS "|" QNMURO_POSIX_ONLY_REGEX)
  list(FILTER QNMURO_WIN_TESTS EXCLUDE REGEX "/tests/(${QNMURO_POSIX_ONLY_REGEX})$")
  add_executable(qnmuro_tests ${QNMURO_WIN_TESTS}
                 ${CMAKE_SOURCE_DIR}/tests/transfer/raw_http_server.cc
                 ${CMAKE_SOURCE_DIR}/tests/support/event_log.cc
                 ${CMAKE_SOURCE_DIR}/tests/support/shell_fake.cc)
  target_include_directories(qnmuro_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Wine shows the build machine's files on drive Z:.
  target_compile_definitions(qnmuro_tests PRIVATE QNMURO_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
  target_link_libraries(qnmuro_tests PRIVATE qnmuro_addin qnmuro_datasource qnmuro_transfer
                        qnmuro_hosts ws2_32 GTest::gtest GTest::gtest_main)
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
target_link_libraries(qnmuro PRIVATE qnmuro_addin qnmuro_hosts version)
set_target_properties(qnmuro PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)

# The COM server QNMuroWPS.dll and its tests.
include(${CMAKE_CURRENT_LIST_DIR}/com_server.cmake)
