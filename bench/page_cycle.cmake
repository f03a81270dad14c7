# The page-cycle benchmark (Windows builds): examples/asp/mx-list.asp run many times in
# one page host (tests/pagehost) against what the page does called in process.
# scripts/bench runs it under Wine through bench/page_cycle-run.
if(NOT WIN32 OR NOT TARGET Kestra OR NOT TARGET kestra_lookup)
  return()
endif()
add_executable(bench_page_direct ${CMAKE_CURRENT_LIST_DIR}/page_direct.cpp)
target_link_libraries(bench_page_direct PRIVATE kestra_lookup)
