# quilo-bench: the read-out against the simulated unit, timed. Run by `make bench`
# (bench/run.sh), never by CTest: it takes minutes.
if(NOT TARGET quilo_data OR NOT TARGET quilo_simulator)
  message(STATUS "quilo-bench: waiting for quilo_data and quilo_simulator")
  return()
endif()

add_executable(quilo-bench
  benchmain.cpp
  measure.cpp measure.h
  readout.cpp readout.h)
target_link_libraries(quilo-bench PRIVATE quilo_data quilo_simulator quilo_warnings)
target_compile_definitions(quilo-bench PRIVATE QUILO_BENCH_BUILD_TYPE="$<IF:$<CONFIG:>,none,$<CONFIG>>")
