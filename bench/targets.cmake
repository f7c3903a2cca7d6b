# quilo-bench: the read-out against the simulated unit, timed. Run by `make bench`
# (bench/run.sh), never by CTest: it takes minutes.
if(NOT TARGET quilo_data OR NOT TARGET quilo_simulator OR NOT TARGET quilo_shell)
  message(STATUS "quilo-bench: waiting for quilo_data and quilo_simulator")
  return()
endif()

add_executable(quilo-bench
  benchmain.cpp
  historybench.cpp historybench.h
  measure.cpp measure.h
  readout.cpp readout.h)
target_link_libraries(quilo-bench PRIVATE quilo_data quilo_history quilo_simulator quilo_shell quilo_warnings)
# Figure 9 on PostgreSQL uses the tests' server in a temporary folder.
if(TARGET quilo_pgserver)
  target_link_libraries(quilo-bench PRIVATE quilo_pgserver)
  target_compile_definitions(quilo-bench PRIVATE QUILO_BENCH_POSTGRESQL)
endif()
target_compile_definitions(quilo-bench PRIVATE QUILO_BENCH_BUILD_TYPE="$<IF:$<CONFIG:>,none,$<CONFIG>>")

# Its tools (statistics, child processes, the line meter) are tested quickly with the suite.
if(QUILO_BUILD_TESTS AND COMMAND quilo_add_test)
  quilo_add_test(tst_benchtools SOURCES tst_benchtools.cpp measure.cpp readout.cpp
    LIBS quilo_data quilo_simulator TIMEOUT 120)
endif()
