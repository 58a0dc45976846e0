# Short fuzz runs inside the test suite: the harnesses are built with clang in
# <build>/fuzz by the first test, then each runs over its seeds and a fixed
# number of further inputs. Left out of the sanitizer build: the harnesses
# carry the sanitizers themselves.
set(ORVANE_FUZZERS xml_bounds catalogue ad_list settings layout attribute_list playlist text_encoding my_stations
    station_import directory)
# Inputs tried beyond the seeds, per harness and test run.
set(ORVANE_FUZZ_RUNS 20000)

find_program(ORVANE_CLANGXX NAMES clang++ clang++-14)
if(ORVANE_CLANGXX AND NOT ORVANE_SANITIZE)
    set(fuzzBuild ${CMAKE_BINARY_DIR}/fuzz)
    add_test(NAME fuzz_build
             COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/fuzz -DBUILD=${fuzzBuild} -DJOBS=2
                     -P ${CMAKE_SOURCE_DIR}/fuzz/BuildFuzzers.cmake)
    set_tests_properties(fuzz_build PROPERTIES FIXTURES_SETUP fuzzers TIMEOUT 900 RUN_SERIAL TRUE)
    foreach(name IN LISTS ORVANE_FUZZERS)
        add_test(NAME fuzz_${name}
                 COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer ${fuzzBuild}/fuzz_${name} ${name} ${ORVANE_FUZZ_RUNS})
        set_tests_properties(fuzz_${name} PROPERTIES FIXTURES_REQUIRED fuzzers TIMEOUT 300
                             ENVIRONMENT "${ORVANE_TEST_ENVIRONMENT}")
    endforeach()
elseif(NOT ORVANE_CLANGXX)
    message(WARNING "clang++ not found: the fuzz harnesses are not built or run (scripts/install-deps installs it)")
endif()
