# Test helpers shared by every test folder.
#
# kestra_add_gtest(NAME SOURCES... [LIBS libs...] [LABELS labels...])
#   One GoogleTest program, registered as one CTest test. Cross builds run it under
#   Wine through CMAKE_CROSSCOMPILING_EMULATOR. Label "net" marks programs that need
#   the loopback test bed (scripts/test starts it); "threaded" marks programs the
#   TSan build runs.
function(kestra_add_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} kestra_testcommon GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
