# The registrar: any script text is expanded, parsed and, when it parses, run against
# the in-memory registry.
if(NOT TARGET kestra_testsupport)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support_lib ${CMAKE_BINARY_DIR}/tests/support_lib)
endif()
kestra_add_fuzzer(registrar ${CMAKE_CURRENT_LIST_DIR}/registrar.cpp
                  LIBS kestra_registrar kestra_testsupport)
