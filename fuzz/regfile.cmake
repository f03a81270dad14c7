# The REGEDIT4 parser of the POSIX registry store, and the in-memory registry it loads.
kestra_add_fuzzer(regfile_fuzzer ${CMAKE_CURRENT_LIST_DIR}/regfile_fuzz.cpp LIBS kestra_platform)
