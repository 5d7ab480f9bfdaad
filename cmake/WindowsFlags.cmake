# Compiler and linker settings shared by every Windows target: Unicode entry points,
# a static runtime (no toolchain DLL beside the program), small code.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_compile_options(-municode -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
                    -ffunction-sections -fdata-sections)
add_link_options(-municode -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
if(NOT CMAKE_BUILD_TYPE OR CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    add_link_options(-s)
    # Optimised as one program at link time: what no caller reaches goes, small functions merge into
    # their callers (a tenth of the installer, a quarter of the uninstaller). In one partition:
    # GCC 12 fails with an internal error when it splits these programs into several.
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
    add_link_options(-flto-partition=one)
endif()

# The one place where test programs are declared: a doctest executable whose test suites each
# become one ctest test named "<prefix>.<suite>". The suites also listed in AT_200_PERCENT run a
# second time as "<prefix>.<suite>-at-200-percent", in a Wine prefix of their own whose screen
# has 192 DPI; its server (and its Wine desktop) ends with each of them.
function(lumivo_windows_test target)
    cmake_parse_arguments(ARG "GUI" "PREFIX" "SOURCES;LIBS;SUITES;AT_200_PERCENT" ${ARGN})
    add_executable(${target} ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp
                   ${PROJECT_SOURCE_DIR}/tests/support/TestWatchdog.cpp ${ARG_SOURCES})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests ${DOCTEST_INCLUDE_DIR})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMIVO_TEST_BIN_DIR})
    foreach(suite ${ARG_SUITES})
        add_test(NAME ${ARG_PREFIX}.${suite} COMMAND ${target} --test-suite=${suite} --no-version --no-intro)
        if(ARG_GUI)
            # Windows on one X display take the focus from each other: one at a time.
            set_tests_properties(${ARG_PREFIX}.${suite} PROPERTIES RESOURCE_LOCK display)
        endif()
    endforeach()
    foreach(suite ${ARG_AT_200_PERCENT})
        set(name ${ARG_PREFIX}.${suite}-at-200-percent)
        add_test(NAME ${name} COMMAND ${target} --test-suite=${suite} --no-version --no-intro)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display ENVIRONMENT
            "LUMIVO_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-192dpi;LUMIVO_WINE_LOGPIXELS=192;LUMIVO_WINE_DESKTOP=Scaled;LUMIVO_WINE_STOP_AFTER=1")
    endforeach()
endfunction()
