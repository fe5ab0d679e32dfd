# Three build types:
#   Release: -O2, used by `make run` and the benchmarks.
#   Test:    -O1 with AddressSanitizer and UndefinedBehaviorSanitizer, used by
#            `make test`; any sanitizer report aborts the test that caused it.
#            The test programs' own code is built at -O0 (cmake/Tandry.cmake).
#   Fuzz:    clang, -O2 with the same sanitizers and libFuzzer's coverage
#            hooks in every library (`make fuzz`); only the fuzz programs
#            link libFuzzer itself (cmake/Tandry.cmake).
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release CACHE STRING "Release or Test" FORCE)
endif()

set(_sanitize "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
# Line tables only (-g1): a sanitizer's report and a debugger's backtrace
# name every frame's file and line, and the build costs a fifth less CPU
# than with full debug information, its tree a few gigabytes uncompressed.
set(CMAKE_C_FLAGS_TEST "-O1 -g1 ${_sanitize}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_TEST "-O1 -g1 ${_sanitize}" CACHE STRING "" FORCE)
# Every checked program keeps a library function of its own to itself, so
# that WebKit's script engine calls its own unchecked copy (see the map).
set(CMAKE_EXE_LINKER_FLAGS_TEST "${_sanitize} -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/HiddenExports.map"
    CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_TEST "${_sanitize}" CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_FUZZ "-O2 -g ${_sanitize} -fsanitize=fuzzer-no-link" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_FUZZ "-O2 -g ${_sanitize} -fsanitize=fuzzer-no-link" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_FUZZ "${_sanitize}" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_FUZZ "${_sanitize}" CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)

add_compile_options(-Wall -Wextra)
# GCC 12 at -O2 reports impossible overlaps in std::string's inlined copies
# (a known false alarm of that version).
add_compile_options($<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>,$<CONFIG:Release>>:-Wno-restrict>)

# lld links the many test programs in half of ld's time. (mold would be
# faster still, but exports what the version script above keeps local.)
find_program(LLD_PROGRAM ld.lld)
if(LLD_PROGRAM)
    add_link_options(-fuse-ld=lld)
endif()

# Compile once: ccache with paths made relative to the source root, so a
# clean clone in another folder on the same machine reuses the cache.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
