# One interface target that carries the language level, the warning flags and Qt's
# strictness switches, so every target of the project links it once.
option(TESMA_WERROR "Treat compiler warnings as errors" ON)
option(TESMA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TESMA_FUZZ "Build the libFuzzer targets in fuzz/ (clang only)" OFF)

add_library(tesma_common INTERFACE)
target_compile_features(tesma_common INTERFACE cxx_std_20)
target_compile_options(tesma_common INTERFACE -Wall -Wextra)
# GCC's flow analysis gives false warnings on instrumented code, so the sanitizer build warns
# without failing; the normal build is the one that holds the line.
if(TESMA_WERROR AND NOT TESMA_SANITIZE AND NOT TESMA_FUZZ)
    target_compile_options(tesma_common INTERFACE -Werror)
endif()
target_compile_definitions(tesma_common INTERFACE
    QT_NO_CAST_FROM_BYTEARRAY
    QT_STRICT_ITERATORS
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(tesma_common INTERFACE ${PROJECT_SOURCE_DIR})

if(TESMA_SANITIZE AND TESMA_FUZZ)
    message(FATAL_ERROR "TESMA_SANITIZE and TESMA_FUZZ are separate builds")
endif()
if(TESMA_SANITIZE)
    set(_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(tesma_common INTERFACE ${_sanitize})
    target_link_options(tesma_common INTERFACE ${_sanitize})
endif()
if(TESMA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TESMA_FUZZ needs clang's libFuzzer: configure with CMAKE_CXX_COMPILER=clang++-14")
    endif()
    # The libraries get coverage and AddressSanitizer; the fuzz targets add libFuzzer's main.
    target_compile_options(tesma_common INTERFACE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
    target_link_options(tesma_common INTERFACE -fsanitize=address)
endif()
