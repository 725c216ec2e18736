# tesma_add_test(NAME [GUI] [CONSOLE] [SIMULATOR] [TIMEOUT seconds] [LABELS label...])
#
# Builds tests/NAME.cpp into the executable NAME and registers the CTest test NAME.
#   GUI        drives widgets (offscreen platform) and links the widget library; without it the
#              test links only the headless core
#   CONSOLE    runs the built console as a child process: depends on it and on the preloaded
#              test hand, whose paths it gets as TESMA_CONSOLE_PATH and TESMA_CONSOLE_HAND_PATH
#   SIMULATOR  plays the encoder with tools/encoder_sim, built before the test
#   TIMEOUT    seconds before CTest ends the test (default 60, four times that in the sanitizer
#              build), so a forgotten dialog fails fast
#   LABELS     extra CTest labels; every test is labelled "gui" or "core" as well
#
# In the sanitizer build the sanitizers' options travel with each test, so ctest run by hand in
# that build tree behaves as in CI.

set(TESMA_LSAN_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/sanitize/lsan.supp)

# What a preloaded module needs in front of it: an instrumented program refuses to start unless
# the sanitizer runtime comes first in the list of preloaded libraries.
set(TESMA_PRELOAD_FIRST "")
if(TESMA_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE _asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_asan_runtime}" OR NOT EXISTS "${_asan_runtime}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where libasan.so is (${_asan_runtime})")
    endif()
    set(TESMA_PRELOAD_FIRST "${_asan_runtime}:")
endif()

function(tesma_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "GUI;CONSOLE;SIMULATOR" "TIMEOUT" "LABELS")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "tesma_add_test(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 60)
    endif()
    # Instrumented code runs a few times slower; the limit is there for hangs, not for speed.
    if(TESMA_SANITIZE)
        math(EXPR arg_TIMEOUT "${arg_TIMEOUT} * 4")
    endif()

    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
    target_link_libraries(${name} PRIVATE tesma_testsupport)
    if(arg_GUI)
        target_link_libraries(${name} PRIVATE tesma_gui)
        list(APPEND arg_LABELS gui)
    else()
        list(APPEND arg_LABELS core)
    endif()
    if(arg_SIMULATOR AND TARGET tesma-encoder-sim)
        add_dependencies(${name} tesma-encoder-sim)
    endif()
    if(arg_CONSOLE)
        add_dependencies(${name} tesma tesma_console_hand)
        target_compile_definitions(${name} PRIVATE
            TESMA_CONSOLE_PATH="$<TARGET_FILE:tesma>"
            TESMA_CONSOLE_HAND_PATH="${TESMA_PRELOAD_FIRST}$<TARGET_FILE:tesma_console_hand>")
    endif()

    set(env QT_QPA_PLATFORM=offscreen)
    if(TESMA_SANITIZE)
        list(APPEND env
            "ASAN_OPTIONS=detect_leaks=1:strict_init_order=1"
            "LSAN_OPTIONS=suppressions=${TESMA_LSAN_SUPPRESSIONS}:print_suppressions=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT} ENVIRONMENT "${env}" LABELS "${arg_LABELS}")
    set_property(DIRECTORY APPEND PROPERTY TESMA_REGISTERED_TESTS ${name})
endfunction()

# Every tests/test_*.cpp becomes a test: a file without a tesma_add_test() line of its own is
# registered as a headless test, with a warning that names it.
function(tesma_add_remaining_tests)
    get_property(done DIRECTORY PROPERTY TESMA_REGISTERED_TESTS)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
    foreach(src IN LISTS sources)
        get_filename_component(name ${src} NAME_WE)
        if(NOT name IN_LIST done)
            message(WARNING "tests/${name}.cpp has no tesma_add_test() line in tests/CMakeLists.txt; "
                            "it is built as a headless test")
            tesma_add_test(${name} SIMULATOR)
        endif()
    endforeach()
endfunction()
