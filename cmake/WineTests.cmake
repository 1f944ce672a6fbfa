# Tests of a Windows build run under wine64 (the toolchain's emulator, cmake/wine-run.sh). They
# share one private prefix per build folder, the first start of a prefix being the slow part, and
# find the DLLs they load (the MinGW runtime, and Qt's in the GUI build) through WINEPATH.

if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(ORVANTA_WINE_DLL_DIRS "")
    foreach(runtime_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
                        OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${runtime_path}")
            get_filename_component(runtime_dir "${runtime_path}" DIRECTORY)
            get_filename_component(runtime_dir "${runtime_dir}" REALPATH)
            list(APPEND ORVANTA_WINE_DLL_DIRS "${runtime_dir}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES ORVANTA_WINE_DLL_DIRS)
endif()

# orvanta_wine_tests(test...): prepares the named tests to run under Wine; nothing elsewhere.
function(orvanta_wine_tests)
    if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
        return()
    endif()
    set(dll_dirs ${ORVANTA_WINE_DLL_DIRS})
    if(TARGET Qt6::Core)
        get_target_property(qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
        if(qt_core)
            get_filename_component(qt_bin "${qt_core}" DIRECTORY)
            list(APPEND dll_dirs "${qt_bin}")
        endif()
    endif()
    string(REPLACE ";" ":" dll_dirs "${dll_dirs}")
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT
        "ORVANTA_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
        "ORVANTA_WINE_DLL_DIRS=${dll_dirs}")
    set_tests_properties(${ARGN} PROPERTIES TIMEOUT 300)
endfunction()
