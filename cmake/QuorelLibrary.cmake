# quorel_library(<target> [QT] [DEPS <targets...>])
# Builds one library from every source file under the current folder. A folder without
# sources yet becomes an interface library so that dependents can already name it.
function(quorel_library target)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    if(ARG_QT)
      set_target_properties(${target} PROPERTIES AUTOMOC ON)
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# quorel_test(<name> SOURCES <files...> DEPS <targets...> [LABELS <labels...>] [EACH]
#             [TIMEOUT <seconds>] [ENVIRONMENT <NAME=value>] [FILTER <gtest filter>])
# One test executable, registered with CTest as one entry, or with EACH as one entry per gtest
# test (named <name>.<Suite>.<Test>, listed by the executable when ctest starts), so ctest runs
# an executable's tests side by side; every end-to-end test starts its own private servers.
# TIMEOUT and ENVIRONMENT (one variable) apply to every entry; FILTER leaves out of the entries
# the tests that another test runs itself.
function(quorel_test name)
  cmake_parse_arguments(ARG "EACH" "TIMEOUT;ENVIRONMENT;FILTER" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock quorel_testsupport)
  set(properties)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_TIMEOUT)
    list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
  endif()
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  # An end-to-end test runs a whole sound server and its real-time clients: it takes two of
  # ctest's slots, so that no more real-time graphs run side by side than the cores carry (with
  # twelve at once on eight cores the path through our filter misses cycles that a straight
  # player beside it does not).
  if(ARG_LABELS MATCHES "e2e")
    list(APPEND properties PROCESSORS 2)
  endif()
  # A build that runs only the other tests (ctest -LE "e2e|package") builds only them, and lists
  # no entries for an executable it does not build.
  set(excluded OFF)
  if(NOT QUOREL_E2E_TESTS AND ARG_LABELS MATCHES "e2e|package")
    set(excluded ON)
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  if(ARG_EACH AND excluded)
    return()
  elseif(ARG_EACH)
    set(filter)
    if(ARG_FILTER)
      set(filter TEST_FILTER "${ARG_FILTER}")
    endif()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." NO_PRETTY_VALUES DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 60 ${filter} PROPERTIES ${properties})
  else()
    add_test(NAME ${name} COMMAND ${name})
    if(properties)
      set_tests_properties(${name} PROPERTIES ${properties})
    endif()
  endif()
endfunction()
