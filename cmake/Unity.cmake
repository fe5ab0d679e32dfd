# Unity builds: a target's .cpp files are compiled a few at a time, each
# batch as one translation unit that includes them, so that the headers they
# share are parsed and their inline code generated once per batch instead of
# once per file. About half the CPU of a cold test build goes away.
#
# CMake's own UNITY_BUILD writes absolute paths into its batch files, which
# keeps ccache from sharing them between clones; these batches name the
# files from the source root, so every clone writes the same batch.
#
# The files of one target must not define two internal (static or
# anonymous-namespace) things of the same name: in one batch they stop
# compiling, or one file quietly calls the other's overload. Rename the
# helper after its file's subject; `tests/unity/check_unity.py` (the CTest
# test `unity`) lists such names for every target, whatever the batches.
#
# -DTANDRY_UNITY=OFF compiles every file on its own (as an editor's
# compile_commands.json wants); TANDRY_UNITY_BATCH sets the batch size.

option(TANDRY_UNITY "Compile each target's sources in batches" ON)
set(TANDRY_UNITY_BATCH 8 CACHE STRING "Source files per unity batch")

# tandry_unity_sources(VAR NAME source...)
# Sets VAR to the sources to compile for target NAME: its .cpp files in
# batches of TANDRY_UNITY_BATCH, in path order so that neighbours, which
# include much the same, share one. A source keeps its own translation unit
# when it has compile definitions of its own or SKIP_UNITY_BUILD_INCLUSION,
# and when it includes Xlib, whose global names (Window, Screen) and macros
# (None, Status) would reach the files after it.
function(tandry_unity_sources var name)
    set(compiled)
    set(batched)
    foreach(source IN LISTS ARGN)
        get_source_file_property(defines ${source} COMPILE_DEFINITIONS)
        get_source_file_property(skip ${source} SKIP_UNITY_BUILD_INCLUSION)
        if(TANDRY_UNITY AND NOT skip)
            file(STRINGS ${source} skip REGEX "^#include <(X11/|gdk/gdkx)" LIMIT_COUNT 1)
        endif()
        if(TANDRY_UNITY AND source MATCHES "\\.cpp$" AND NOT defines AND NOT skip)
            list(APPEND batched ${source})
        else()
            list(APPEND compiled ${source})
        endif()
    endforeach()
    list(LENGTH batched count)
    if(count LESS 2)
        set(${var} ${ARGN} PARENT_SCOPE)
        return()
    endif()
    list(SORT batched)
    set(index 0)
    while(batched)
        list(LENGTH batched left)
        if(left GREATER TANDRY_UNITY_BATCH)
            set(left ${TANDRY_UNITY_BATCH})
        endif()
        list(SUBLIST batched 0 ${left} batch)
        if(left EQUAL count)
            set(batched)
        else()
            list(SUBLIST batched ${left} -1 batched)
        endif()
        math(EXPR count "${count} - ${left}")
        set(content "")
        # A test file's `using namespace ui;` would make gmock's own
        # `testing::` ambiguous with ui::testing in every file after it that
        # includes gmock first: the batch parses gmock before them all.
        if(name MATCHES "_tests$")
            set(content "#include <gmock/gmock.h>\n")
        endif()
        foreach(source IN LISTS batch)
            file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
            string(APPEND content "#include \"${relative}\"\n")
        endforeach()
        set(batch_file ${CMAKE_BINARY_DIR}/unity/${name}_${index}.cpp)
        file(CONFIGURE OUTPUT ${batch_file} CONTENT "${content}")
        # A class with a base from a file's anonymous namespace is fine in a
        # .cpp file, which a batch includes as if it were a header.
        set_source_files_properties(${batch_file} PROPERTIES INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}
            COMPILE_OPTIONS -Wno-subobject-linkage)
        list(APPEND compiled ${batch_file})
        math(EXPR index "${index} + 1")
    endwhile()
    # Batches left from a target that had more files would be checked as
    # if they were still built.
    file(GLOB batch_files ${CMAKE_BINARY_DIR}/unity/${name}_*.cpp)
    foreach(batch_file IN LISTS batch_files)
        if(NOT batch_file IN_LIST compiled AND batch_file MATCHES "/${name}_[0-9]+\\.cpp$")
            file(REMOVE ${batch_file})
        endif()
    endforeach()
    set(${var} ${compiled} PARENT_SCOPE)
endfunction()
