# corvane_add_test(<name> SOURCES <files...> LIBS <targets...> [RESOURCE_LOCK <name>])
# One GoogleTest executable; its cases are registered with CTest when the tests run,
# headless (offscreen Qt platform) and with the shipped files reachable. Tests that share a
# resource lock never run at the same time as each other (the imaging engine's tests: ending
# "the" engine by name would end another test's engine).
function(corvane_add_test name)
  cmake_parse_arguments(T "" "RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} corvane_testsupport GTest::gtest GTest::gmock)
  set(lock)
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CORVANE_SHARE_DIR=${CORVANE_SHARE_DIR}"
      TIMEOUT 300
      ${lock})
endfunction()
