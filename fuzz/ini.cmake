# The POSIX INI reader: any file text parses, and the profile answers are lines of it.
kestra_add_fuzzer(ini_fuzzer ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp LIBS kestra_platform)
