# The rule for bytes from outside: any bytes give valid UTF-8, terminal text without
# controls, and names in printable ASCII that read back to the same labels.
kestra_add_fuzzer(safe_text_fuzzer ${CMAKE_CURRENT_LIST_DIR}/safe_text_fuzz.cpp LIBS kestra_cli)
