# The doctor's PE reader: any bytes give an answer, never a read out of bounds.
kestra_add_fuzzer(pe_image_fuzzer ${CMAKE_CURRENT_LIST_DIR}/pe_image_fuzz.cpp LIBS kestra_pe)
