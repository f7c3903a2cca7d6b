# quilo-bench: the read-out against the simulated unit, timed. Run by `make bench`
# (bench/run.sh), never by CTest: it takes minutes.
if(NOT TARGET quilo_data OR NOT TARGET quilo_simulator OR NOT TARGET quilo_shell)
  message(STATUS "quilo-bench: waiting for quilo_data and quilo_simulator")
  return()
endif()

# statistics, child processes and the line meter: the benchmark's and its test's
add_library(quilo_benchtools STATIC measure.cpp measure.h readout.cpp readout.h)
target_include_directories(quilo_benchtools PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quilo_benchtools PUBLIC quilo_data quilo_simulator PRIVATE quilo_warnings)

add_executable(quilo-bench
  benchmain.cpp
  collectbench.cpp collectbench.h
  historybench.cpp historybench.h
  sitebench.cpp sitebench.h)
target_link_libraries(quilo-bench PRIVATE quilo_benchtools quilo_data quilo_history quilo_simulator quilo_shell
  quilo_site PkgConfig::HTTPLIB quilo_warnings)
# Figure 9 on PostgreSQL uses the tests' server in a temporary folder (a build without the
# tests has no such library yet).
if(NOT TARGET quilo_pgserver)
  set(support ${PROJECT_SOURCE_DIR}/tests/support)
  add_library(quilo_pgserver STATIC ${support}/pgserver.cpp ${support}/pgserver.h)
  target_include_directories(quilo_pgserver PUBLIC ${support})
  target_link_libraries(quilo_pgserver PUBLIC Qt6::Core Qt6::Sql PRIVATE quilo_warnings)
endif()
# Figure 11 serves the unit with ser2net through the tests' helper.
if(NOT TARGET quilo_ser2net)
  set(support ${PROJECT_SOURCE_DIR}/tests/support)
  add_library(quilo_ser2net STATIC ${support}/ser2netserver.cpp ${support}/ser2netserver.h)
  target_include_directories(quilo_ser2net PUBLIC ${support})
  target_link_libraries(quilo_ser2net PUBLIC Qt6::Core PRIVATE quilo_warnings)
endif()
target_link_libraries(quilo-bench PRIVATE quilo_ser2net)
if(TARGET quilo_pgserver)
  target_link_libraries(quilo-bench PRIVATE quilo_pgserver)
  target_compile_definitions(quilo-bench PRIVATE QUILO_BENCH_POSTGRESQL)
endif()
target_compile_definitions(quilo-bench PRIVATE QUILO_BENCH_BUILD_TYPE="$<IF:$<CONFIG:>,none,$<CONFIG>>")

# Its tools (statistics, child processes, the line meter) are tested quickly with the suite.
if(QUILO_BUILD_TESTS AND COMMAND quilo_add_test)
  quilo_add_test(tst_benchtools SOURCES tst_benchtools.cpp LIBS quilo_benchtools TIMEOUT 120)
endif()
