# One CTest test per GoogleTest suite: the suite FooTest of tandry_kit_tests
# is the CTest test kit.FooTest, `tandry_kit_tests --gtest_filter=FooTest.*`,
# run in one process (`ctest -R FooTest` runs it).
#
# A process per test spent more time starting checked programs (their
# libraries, the sanitizers' set-up and the leak check at exit) than running
# many of the tests; every test's own set-up and tear-down is the fixture's
# (tests/Support/TestEnvironment.cpp), so tests of one suite share a process
# as they share a file. A failing test fails its suite's CTest test, whose
# output names it; the suites are listed when CTest runs, from the program
# as built, as gtest_discover_tests(... DISCOVERY_MODE PRE_TEST) does.

set(_tandry_gtest_suites_script ${CMAKE_CURRENT_LIST_FILE})

# tandry_gtest_suites(TARGET [WORKING_DIRECTORY dir] [ENVIRONMENT var=value...])
function(tandry_gtest_suites target)
    cmake_parse_arguments(ARG "" "WORKING_DIRECTORY" "ENVIRONMENT" ${ARGN})
    set(base ${CMAKE_CURRENT_BINARY_DIR}/${target})
    file(GENERATE OUTPUT ${base}_suites_include.cmake CONTENT
"set(TANDRY_PROGRAM \"$<TARGET_FILE:${target}>\")
set(TANDRY_SUITES \"${base}_suites.cmake\")
set(TANDRY_WORKING_DIRECTORY \"${ARG_WORKING_DIRECTORY}\")
set(TANDRY_ENVIRONMENT \"${ARG_ENVIRONMENT}\")
include(\"${_tandry_gtest_suites_script}\")
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${base}_suites_include.cmake)
endfunction()

# At CTest time (included with TANDRY_PROGRAM set): list the program's
# suites again when the program is newer than the list, then declare them.
if(DEFINED TANDRY_PROGRAM)
    get_filename_component(_name "${TANDRY_PROGRAM}" NAME)
    string(REGEX REPLACE "^tandry_(.*)_tests$" "\\1" _prefix "${_name}")
    if(NOT EXISTS "${TANDRY_PROGRAM}")
        add_test("${_name}_NOT_BUILT" "${_name}_NOT_BUILT")
        return()
    endif()
    if(NOT EXISTS "${TANDRY_SUITES}" OR "${TANDRY_PROGRAM}" IS_NEWER_THAN "${TANDRY_SUITES}")
        execute_process(COMMAND "${TANDRY_PROGRAM}" --gtest_list_tests
            WORKING_DIRECTORY "${TANDRY_WORKING_DIRECTORY}"
            OUTPUT_VARIABLE _listed RESULT_VARIABLE _status TIMEOUT 120)
        if(NOT _status EQUAL 0)
            message(FATAL_ERROR "${_name} --gtest_list_tests failed (${_status}):\n${_listed}")
        endif()
        string(REPLACE ";" "\\;" _listed "${_listed}")
        string(REPLACE "\n" ";" _lines "${_listed}")
        set(_declared "")
        set(_suite "")
        set(_enabled FALSE)
        foreach(_line IN LISTS _lines)
            if(_line MATCHES "^([A-Za-z_][A-Za-z0-9_/]*)\\.( *#.*)?$")
                set(_suite "${CMAKE_MATCH_1}")
                set(_enabled FALSE)
            elseif(_suite AND _line MATCHES "^  ([A-Za-z0-9_/]+)")
                # A suite of only disabled tests runs nothing: no test for it.
                if(NOT _enabled AND NOT _suite MATCHES "(^|/)DISABLED_" AND NOT CMAKE_MATCH_1 MATCHES "^DISABLED_")
                    set(_enabled TRUE)
                    string(APPEND _declared
                        "add_test([==[${_prefix}.${_suite}]==] [==[${TANDRY_PROGRAM}]==] [==[--gtest_filter=${_suite}.*]==])\n"
                        "set_tests_properties([==[${_prefix}.${_suite}]==] PROPERTIES\n"
                        "    WORKING_DIRECTORY [==[${TANDRY_WORKING_DIRECTORY}]==] ENVIRONMENT [==[${TANDRY_ENVIRONMENT}]==])\n")
                endif()
            endif()
        endforeach()
        file(WRITE "${TANDRY_SUITES}" "${_declared}")
    endif()
    include("${TANDRY_SUITES}")
endif()
