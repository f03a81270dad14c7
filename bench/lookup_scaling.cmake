# lookup_scaling (native builds): MXRecords calls per second on one thread and on
# several, each thread with a CLookup of its own. scripts/stress runs it in the test bed.
if(WIN32 OR NOT TARGET kestra_lookup)
  return()
endif()
add_executable(lookup_scaling ${CMAKE_CURRENT_LIST_DIR}/lookup_scaling.cpp)
find_package(Threads REQUIRED)
target_link_libraries(lookup_scaling PRIVATE kestra_lookup Threads::Threads)
