# One interface target that carries the language level, the warning flags and Qt's
# strictness switches, so every target of the project links it once.
add_library(tesma_common INTERFACE)
target_compile_features(tesma_common INTERFACE cxx_std_20)
target_compile_options(tesma_common INTERFACE -Wall -Wextra)
target_compile_definitions(tesma_common INTERFACE
    QT_NO_CAST_FROM_BYTEARRAY
    QT_STRICT_ITERATORS
    QT_NO_URL_CAST_FROM_STRING
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(tesma_common INTERFACE ${PROJECT_SOURCE_DIR})
