# access_check: the hosting access check on its own, natively (with the count of file
# and key reads) and in the Windows build under Wine. scripts/bench runs both.
if(NOT TARGET kestra_access)
  return()
endif()
add_executable(access_check ${CMAKE_CURRENT_LIST_DIR}/access_check.cpp)
target_link_libraries(access_check PRIVATE kestra_access ${CMAKE_DL_LIBS})
