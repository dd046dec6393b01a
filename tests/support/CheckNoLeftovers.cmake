# Runs a test program with a temporary folder of its own and fails when the program fails or
# leaves anything in that folder.
# Run: cmake -DPROGRAM=<test program> -DFILTER=<gtest filter> -DFOLDER=<scratch folder> -P ...
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${FOLDER} QT_QPA_PLATFORM=offscreen
                        ${PROGRAM} --gtest_filter=${FILTER}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} failed (${result}):\n${output}")
endif()
file(GLOB left LIST_DIRECTORIES true ${FOLDER}/* ${FOLDER}/.*)
file(REMOVE_RECURSE ${FOLDER})
if(left)
    list(JOIN left "\n  " text)
    message(FATAL_ERROR "${PROGRAM} left in the temporary folder:\n  ${text}")
endif()
