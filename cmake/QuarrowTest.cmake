# Test helpers. Every suite is one executable and one CTest test; slow tiers carry the
# label "slow" so that `ctest -LE slow` stays quick.

# No test may send the SQL Server Browser's broadcast: every test's requests go to a loopback
# port where nothing answers, unless the test starts its own responder.
set(QUARROW_TEST_BROWSER_ADDRESS "QUARROW_BROWSER_ADDRESS=127.0.0.1:9")

# quarrow_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
function(quarrow_add_gtest name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    quarrow_target(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} quarrow_testsupport GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QUARROW_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUARROW_BINARY_DIR=${PROJECT_BINARY_DIR};${QUARROW_TEST_BROWSER_ADDRESS}")
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
endfunction()

# quarrow_add_qttest(<name> SOURCES ... LIBS ... [LABELS ...])
# Runs on the offscreen platform with a private runtime folder (Qt warns without one) and
# fails on any Qt warning printed during the test.
function(quarrow_add_qttest name)
    set(_runtime_dir ${PROJECT_BINARY_DIR}/xdg-runtime)
    file(MAKE_DIRECTORY ${_runtime_dir})
    file(CHMOD ${_runtime_dir} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    quarrow_qt_target(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test quarrow_testsupport)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FATAL_WARNINGS=1;XDG_RUNTIME_DIR=${_runtime_dir};QUARROW_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUARROW_BINARY_DIR=${PROJECT_BINARY_DIR};${QUARROW_TEST_BROWSER_ADDRESS}"
        LABELS "gui;${ARG_LABELS}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
endfunction()
