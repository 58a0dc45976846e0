# cmake -DSOURCE=<fuzz folder> -DBUILD=<build folder> [-DJOBS=n] -P BuildFuzzers.cmake
# Configures the harnesses with clang in a build folder of their own and
# builds them; used by the test suite and by `make fuzz`.
if(NOT DEFINED JOBS)
    set(JOBS 2)
endif()
find_program(CLANGXX NAMES clang++ clang++-14 REQUIRED)
find_program(CCACHE ccache)
set(launcher "")
if(CCACHE)
    set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G Ninja -DCMAKE_CXX_COMPILER=${CLANGXX} ${launcher}
                RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
    message(FATAL_ERROR "configuring the fuzz harnesses failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} -j ${JOBS} RESULT_VARIABLE built)
if(NOT built EQUAL 0)
    message(FATAL_ERROR "building the fuzz harnesses failed")
endif()
