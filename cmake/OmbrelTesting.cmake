# One helper registers every test executable:
#   ombrel_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...] [OWN_MAIN])
# OWN_MAIN: the sources bring their own main() (the Qt tests create the application object first).
if(OMBREL_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(ombrel_add_test name)
  if(NOT OMBREL_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE OMBREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              OMBREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${ARG_ENV}"
    DISCOVERY_TIMEOUT 30)
endfunction()
