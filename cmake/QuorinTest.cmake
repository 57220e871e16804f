# GoogleTest from the Debian sources (built with whichever compiler is configured),
# and quorin_add_test(): one test program, registered as one ctest test.
set(QUORIN_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUORIN_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# quorin_add_test(NAME SOURCES src... [LIBS lib...] [LABELS label...])
# Builds NAME from the sources with gtest_main and registers it; Windows programs run
# under Wine through the cross-compiling emulator.
function(quorin_add_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
