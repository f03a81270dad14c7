# The SMTP reply reader: replies read whole however the bytes are cut.
kestra_add_fuzzer(smtp_reply_reader_fuzzer ${CMAKE_CURRENT_LIST_DIR}/smtp_reply_reader.cpp
                  LIBS kestra_smtp_reader)
