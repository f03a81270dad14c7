# The POSIX registry store's .reg parser.
kestra_add_fuzzer(regfile_fuzzer ${CMAKE_CURRENT_LIST_DIR}/regfile_fuzz.cpp LIBS kestra_platform)
