# Configures a copy of the source tree whose command-line folder has lost its sources and
# expects the configure step to fail with the folder named, then configures the intact copy and
# expects it to succeed. Run as: cmake -DSOURCE=<tree> -DWORK=<scratch> -P configure_test.cmake
set(copy ${WORK}/tree)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${copy})
file(COPY ${SOURCE}/CMakeLists.txt DESTINATION ${copy})
foreach(dir cmake resources toolbox model textfmt cli examples)
  file(COPY ${SOURCE}/${dir} DESTINATION ${copy})
endforeach()
set(flags -DOK_BUILD_GUI=OFF -DOK_BUILD_TESTS=OFF -DOK_BUILD_BENCH=OFF)

execute_process(COMMAND ${CMAKE_COMMAND} -S ${copy} -B ${WORK}/good ${flags}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the intact tree did not configure:\n${err}")
endif()

file(GLOB cli_sources ${copy}/cli/*.cpp)
file(REMOVE ${cli_sources})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${copy} -B ${WORK}/bad ${flags}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "a folder without sources configured without an error")
endif()
# CMake wraps long messages, so the words are compared with line breaks folded into spaces.
string(REGEX REPLACE "[ \n]+" " " err "${err}")
if(NOT err MATCHES "/cli: no files match")
  message(FATAL_ERROR "the configure error does not name the empty folder:\n${err}")
endif()

file(REMOVE_RECURSE ${copy}/examples)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${copy} -B ${WORK}/gone ${flags}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "a missing folder configured without an error")
endif()
