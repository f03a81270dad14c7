# The COM classes of the MX list (Windows only): the List, its entries and the
# enumerator. They are linked into Kestra.dll, whose module/ provides the plumbing and
# the type library's generated header.
add_library(kestra_collections_com OBJECT
  ${CMAKE_CURRENT_LIST_DIR}/list_com.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_entries_com.cpp
  ${CMAKE_CURRENT_LIST_DIR}/enum_com.cpp)
target_link_libraries(kestra_collections_com PUBLIC kestra_collections kestra_com_headers)
