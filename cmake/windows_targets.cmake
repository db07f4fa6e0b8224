# Windows: the system libraries the backends call, and the tests that run under Wine. Included
# from the top-level CMakeLists.txt after every layer is defined.
target_link_libraries(qnmuro_platform PUBLIC advapi32 ole32 oleaut32 uuid)

if(QNMURO_TESTS)
  find_package(GTest REQUIRED)
  # The tests whose code and expectations hold on every platform, and the Windows backends'
  # own tests.
  set(QNMURO_PORTABLE_TESTS
    base/error_test.cc common/base64_test.cc common/cipher_test.cc config/vocabulary_test.cc
    datasource/data_source_test.cc platform/xml_test.cc)
  list(TRANSFORM QNMURO_PORTABLE_TESTS PREPEND ${CMAKE_SOURCE_DIR}/tests/)
  file(GLOB QNMURO_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.cc)
  add_executable(qnmuro_tests ${QNMURO_PORTABLE_TESTS} ${QNMURO_WIN_TESTS}
                 ${CMAKE_SOURCE_DIR}/tests/support/event_log.cc)
  target_include_directories(qnmuro_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Wine shows the build machine's files on drive Z:.
  target_compile_definitions(qnmuro_tests PRIVATE QNMURO_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
  target_link_libraries(qnmuro_tests PRIVATE qnmuro_datasource GTest::gtest GTest::gtest_main)
endif()
