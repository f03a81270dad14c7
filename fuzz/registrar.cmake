# The registrar: any script text is expanded, parsed and, when it parses, run against
# the in-memory registry.
kestra_add_fuzzer(registrar ${CMAKE_CURRENT_LIST_DIR}/registrar.cpp LIBS kestra_registrar)
