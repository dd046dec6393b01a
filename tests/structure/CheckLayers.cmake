# Fails when a program folder includes from a folder it may not use (ARCHITECTURE.md has the
# table), when core/ includes Qt, or when any folder but app/ holds an entry point.
# Run: cmake -DROOT=<source tree> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

set(uses_core core)
set(uses_platform core platform)
set(uses_ui core platform ui)
set(uses_session core platform ui session)
set(uses_search core platform ui search)
# The one crossing: the shared window half creates the long-lived catalogue dialogs.
set(allowed_crossings
    "ui/UOrvoCCommonWin.cpp:search/UFormCentri.h"
    "ui/UOrvoCCommonWin.cpp:search/UFormRicercaUtente.h")

set(faults "")
foreach(folder core platform ui session search)
    file(GLOB sources RELATIVE ${ROOT} ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
    if(NOT sources)
        list(APPEND faults "${folder}/ holds no sources: is ROOT right?")
    endif()
    foreach(source ${sources})
        file(STRINGS ${ROOT}/${source} lines REGEX "^#include|main\\(")
        foreach(line ${lines})
            if(line MATCHES "^#include \"([a-z]+)/([^\"]+)\"")
                set(used ${CMAKE_MATCH_1})
                set(header "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
                if(NOT used IN_LIST uses_${folder} AND
                   NOT "${source}:${header}" IN_LIST allowed_crossings)
                    list(APPEND faults "${source} includes ${header}")
                endif()
            elseif(folder STREQUAL "core" AND line MATCHES "^#include <Q")
                list(APPEND faults "${source}: ${line} (core/ is display-free)")
            elseif(line MATCHES "^int main\\(")
                list(APPEND faults "${source} holds an entry point (only app/ does)")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Layering broken:\n  ${text}")
endif()
