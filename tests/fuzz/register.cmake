# Included by the native build: registers each libFuzzer target of a separate
# clang build (-DPELLUX_FUZZ_DIR=<that build>) as the ctest test fuzz_<name>,
# labelled fuzz. The same file is the test's runner (cmake -P): the seeds under
# corpus/<name> are copied afresh into this build tree and the fuzzer runs on
# the copy, so new inputs it finds never land in the source tree.
if(CMAKE_SCRIPT_MODE_FILE)
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
  if(IS_DIRECTORY "${SEEDS}")
    file(COPY "${SEEDS}/" DESTINATION "${WORK}/corpus")
  endif()
  execute_process(
    COMMAND "${EXE}" -max_total_time=30 -rss_limit_mb=2048
            "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus"
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${EXE} failed (${result}); the input is under ${WORK}/artifacts")
  endif()
  return()
endif()

if(PELLUX_FUZZ_DIR)
  file(GLOB pellux_fuzz_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
  foreach(source IN LISTS pellux_fuzz_sources)
    get_filename_component(exe ${source} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" name ${exe})
    add_test(NAME fuzz_${name}
      COMMAND ${CMAKE_COMMAND}
              -DEXE=${PELLUX_FUZZ_DIR}/tests/fuzz/${exe}
              -DSEEDS=${CMAKE_CURRENT_LIST_DIR}/corpus/${name}
              -DWORK=${CMAKE_BINARY_DIR}/fuzz/${name}
              -P ${CMAKE_CURRENT_LIST_FILE})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 180)
  endforeach()
endif()
