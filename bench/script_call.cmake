# The script-call benchmark (Windows builds): MXRecords from a VBScript loop through the
# registered Kestra.dll against the same lookup called in process. scripts/bench runs it
# under Wine through bench/script_call-run.
if(NOT WIN32 OR NOT TARGET Kestra OR NOT TARGET kestra_lookup)
  return()
endif()
add_executable(bench_script_call ${CMAKE_CURRENT_LIST_DIR}/script_call.cpp)
target_link_libraries(bench_script_call PRIVATE kestra_lookup)
add_dependencies(bench_script_call Kestra)
