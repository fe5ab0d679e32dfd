# The project's build pattern: one static library per source folder group,
# one GoogleTest executable per library, fuzz targets and the program.

set(TANDRY_SRC ${CMAKE_SOURCE_DIR}/src)
set(TANDRY_TESTS ${CMAKE_SOURCE_DIR}/tests)

# tandry_library(NAME DIRS dir... [LINKS target...] [PKG module...] [SYSLIBS lib...]
#                 [TEST_LINKS target...])
# Builds tandry_NAME from the .cpp files directly in src/<dir> for each dir,
# and tandry_NAME_tests from the .cpp files in tests/<dir>, linked with the
# test support and TEST_LINKS, one CTest test per suite (GTestSuites.cmake).
function(tandry_library name)
    cmake_parse_arguments(ARG "" "" "DIRS;LINKS;PKG;SYSLIBS;TEST_LINKS" ${ARGN})
    set(sources)
    set(tests)
    foreach(dir IN LISTS ARG_DIRS)
        file(GLOB dir_sources CONFIGURE_DEPENDS ${TANDRY_SRC}/${dir}/*.cpp ${TANDRY_SRC}/${dir}/*.c)
        file(GLOB dir_tests CONFIGURE_DEPENDS ${TANDRY_TESTS}/${dir}/*.cpp)
        list(APPEND sources ${dir_sources})
        list(APPEND tests ${dir_tests})
    endforeach()
    set(target tandry_${name})
    if(sources)
        tandry_unity_sources(sources ${target} ${sources})
        add_library(${target} STATIC ${sources})
        set(scope PUBLIC)
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(${target} ${scope} ${TANDRY_SRC})
    target_link_libraries(${target} ${scope} ${ARG_LINKS} ${ARG_SYSLIBS} Threads::Threads)
    foreach(module IN LISTS ARG_PKG)
        string(MAKE_C_IDENTIFIER ${module} id)
        if(NOT TARGET PkgConfig::${id})
            pkg_check_modules(${id} REQUIRED IMPORTED_TARGET GLOBAL ${module})
        endif()
        target_link_libraries(${target} ${scope} PkgConfig::${id})
    endforeach()

    if(tests)
        tandry_unity_sources(tests ${target}_tests ${tests})
        add_executable(${target}_tests ${tests})
        tandry_test_program_options(${target}_tests)
        target_link_libraries(${target}_tests PRIVATE ${target} tandry_test_support ${ARG_TEST_LINKS} GTest::gmock GTest::gtest_main)
        tandry_gtest_suites(${target}_tests
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            ENVIRONMENT "TANDRY_RESOURCES=${CMAKE_SOURCE_DIR}/resources")
    endif()
endfunction()

# The test programs' own code compiles without optimisation in the Test build:
# their batches of test bodies cost almost half the CPU at -O1, and the code
# they check, in the libraries, keeps -O1.
function(tandry_test_program_options target)
    target_compile_options(${target} PRIVATE $<$<CONFIG:Test>:-O0>)
endfunction()

# tandry_executable(NAME source... LINKS target...)
function(tandry_executable name)
    cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LINKS})
    target_compile_definitions(${name} PRIVATE TANDRY_VERSION="${PROJECT_VERSION}")
endfunction()

# Tests that run the built program from the outside.
function(tandry_program_tests)
    file(GLOB sources CONFIGURE_DEPENDS ${TANDRY_TESTS}/Program/*.cpp)
    if(NOT sources)
        return()
    endif()
    tandry_unity_sources(sources tandry_program_tests ${sources})
    add_executable(tandry_program_tests ${sources})
    tandry_test_program_options(tandry_program_tests)
    target_link_libraries(tandry_program_tests PRIVATE tandry_test_support tandry_test_support_movie
        tandry_test_support_pdf tandry_test_support_web tandry_test_support_dropbox tandry_test_support_media GTest::gmock GTest::gtest_main)
    target_compile_definitions(tandry_program_tests PRIVATE TANDRY_EXECUTABLE="$<TARGET_FILE:tandry>"
        TANDRY_MOVIE_EXECUTABLE="$<TARGET_FILE:tandry-movie>")
    add_dependencies(tandry_program_tests tandry tandry-movie)
    tandry_gtest_suites(tandry_program_tests WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
endfunction()

# Fuzz targets: tests/fuzz/<name>.cpp defines LLVMFuzzerTestOneInput and names
# the library it exercises on its first line as "// fuzz: tandry_xxx".
# With clang (TANDRY_FUZZ=ON, the Fuzz build type) each becomes a libFuzzer
# binary, and the target `fuzz_targets` builds all of them and only what they
# link; otherwise each is linked with a small driver and run by CTest over
# tests/fuzz/corpus/<name>/.
if(CMAKE_BUILD_TYPE STREQUAL "Fuzz")
    set(_fuzz_default ON)
else()
    set(_fuzz_default OFF)
endif()
option(TANDRY_FUZZ "Build libFuzzer targets (needs clang)" ${_fuzz_default})
function(tandry_fuzz_targets)
    file(GLOB sources CONFIGURE_DEPENDS ${TANDRY_TESTS}/fuzz/*.cpp)
    list(FILTER sources EXCLUDE REGEX "/FuzzDriver\\.cpp$")
    if(TANDRY_FUZZ)
        add_custom_target(fuzz_targets)
    else()
        # The corpus driver, compiled once for every target.
        add_library(tandry_fuzz_driver OBJECT ${TANDRY_TESTS}/fuzz/FuzzDriver.cpp)
    endif()
    foreach(source IN LISTS sources)
        get_filename_component(fuzz_name ${source} NAME_WE)
        file(STRINGS ${source} first_line LIMIT_COUNT 1)
        string(REGEX REPLACE "^// fuzz: *" "" library "${first_line}")
        set(target fuzz_${fuzz_name})
        if(NOT TARGET ${library})
            message(STATUS "fuzz target ${fuzz_name} left out: ${library} is not built here")
            continue()
        endif()
        if(TANDRY_FUZZ)
            add_executable(${target} ${source})
            target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
            target_link_options(${target} PRIVATE -fsanitize=fuzzer)
            add_dependencies(fuzz_targets ${target})
        else()
            add_executable(${target} ${source} $<TARGET_OBJECTS:tandry_fuzz_driver>)
            add_test(NAME fuzz.${fuzz_name}
                COMMAND ${target} ${TANDRY_TESTS}/fuzz/corpus/${fuzz_name}
                WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
        endif()
        target_link_libraries(${target} PRIVATE ${library})
    endforeach()
endfunction()
