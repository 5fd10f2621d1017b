# Burst benchmark: the real device list window on Qt (offscreen) with real
# sockets. It sends a discovery broadcast, so it runs only inside the lab's
# namespaces (scripts/bench-burst, or scripts/lab -- burst_bench N).
if(NOT PEMBLOR_BUILD_GUI)
  return()
endif()

# Qt's imported targets are scoped to the directory that finds them.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_executable(burst_bench
  ${CMAKE_CURRENT_SOURCE_DIR}/BurstBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/BurstDriver.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/BurstDriver.h
  ${CMAKE_CURRENT_SOURCE_DIR}/ReplyClock.h
  ${CMAKE_CURRENT_SOURCE_DIR}/TickSpan.h
  ${CMAKE_CURRENT_SOURCE_DIR}/WireClock.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/WireClock.h)
target_link_libraries(burst_bench PRIVATE pemblor_labaddress pemblor_gui Qt6::Widgets Qt6::Test)

# The benchmark scripts' smoke sizes on this build (see bench-fleet-smoke).
foreach(script bench-burst bench-workspace)
  add_test(NAME ${script}-smoke COMMAND ${PROJECT_SOURCE_DIR}/scripts/${script} --smoke --build-dir ${CMAKE_BINARY_DIR})
endforeach()
set_tests_properties(bench-burst-smoke bench-workspace-smoke PROPERTIES
  SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS "bench-smoke;lab")
