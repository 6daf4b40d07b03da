# Build helpers shared by every folder: one static library per folder, tests
# as one executable per subsystem area (Wine start-up costs a second or two, so
# the Windows tree wants few, large test executables).

set(LUMENFALL_WARNINGS -Wall -Wextra -Werror)

function(lumenfall_warnings target)
    target_compile_options(${target} PRIVATE ${LUMENFALL_WARNINGS})
endfunction()

# lumenfall_library(<name> SOURCES ... [LINKS ...])
function(lumenfall_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    lumenfall_warnings(${name})
endfunction()

# lumenfall_test(<name> SOURCES ... [LINKS ...] [NATIVE_ONLY] [WINDOWS_ONLY] [TSAN]
#                [TIMEOUT seconds])
# TSAN marks tests of thread-shared code: only those are built in the
# ThreadSanitizer tree. A tree that skips a test defines no target for it, so
# settings made after the call go under if(TARGET <name>).
function(lumenfall_test name)
    cmake_parse_arguments(ARG "NATIVE_ONLY;WINDOWS_ONLY;TSAN" "TIMEOUT" "SOURCES;LINKS" ${ARGN})
    if(ARG_NATIVE_ONLY AND WIN32)
        return()
    endif()
    if(ARG_WINDOWS_ONLY AND NOT WIN32)
        return()
    endif()
    if(LUMENFALL_TSAN_ONLY AND NOT ARG_TSAN)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE lumenfall_test_support ${ARG_LINKS})
    lumenfall_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 600)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# Adds a subsystem's folder. A listed folder that is missing stops the configure: a tree that
# skipped it would build and pass without the code it claims to hold.
macro(lumenfall_add_folder dir)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        message(FATAL_ERROR "listed folder ${dir} has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
endmacro()
