# The POSIX INI reader: any file text parses, and the profile answers keep their
# buffer contract.
kestra_add_fuzzer(ini_fuzzer ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp LIBS kestra_platform)
