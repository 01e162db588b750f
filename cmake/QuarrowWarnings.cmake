# One warning set for every target of ours.
set(QUARROW_WARNINGS
    -Wall -Wextra -Wundef -Wformat=2 -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local> -Wimplicit-fallthrough)
if(QUARROW_WERROR)
    list(APPEND QUARROW_WARNINGS -Werror)
endif()

# quarrow_target(<target>): applies the project's warnings and include root.
function(quarrow_target target)
    target_compile_options(${target} PRIVATE ${QUARROW_WARNINGS})
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "INTERFACE_LIBRARY")
        return()
    endif()
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    # Only Qt targets need moc; the Qt-free layers skip it.
    set_target_properties(${target} PROPERTIES AUTOMOC OFF)
endfunction()

# Qt targets keep strings honest and connections typed.
function(quarrow_qt_target target)
    quarrow_target(${target})
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_FOREACH QT_NO_KEYWORDS
        QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()
