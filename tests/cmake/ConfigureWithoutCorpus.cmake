# Configures a scratch build against a copy of the corpus with one suite
# removed, and against no corpus at all: configuring must stop, naming what is
# missing, where it looked, and the variable that points elsewhere.
# Run with -DSOURCE_DIR=... -DCORPUS_DIR=... -DWORK_DIR=...
file(REMOVE_RECURSE "${WORK_DIR}")
file(COPY "${CORPUS_DIR}/" DESTINATION "${WORK_DIR}/corpus")
file(REMOVE_RECURSE "${WORK_DIR}/corpus/pngsuite")

set(expected_corpus "missing: pngsuite/basn2c08.png")
set(expected_nowhere "missing: the folder itself")
foreach(case corpus nowhere)
  set(corpus "${WORK_DIR}/${case}")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G Ninja
            -DQUILTOR_CORPUS_DIR=${corpus} -DQUILTOR_DOCUMENT=OFF -DQUILTOR_BENCH=OFF
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \t\r\n]+" " " text "${out}${err}")
  if(result EQUAL 0)
    message(FATAL_ERROR "configuring with the corpus at ${corpus} succeeded")
  endif()
  foreach(needle "QUILTOR_CORPUS_DIR=${corpus}" "${expected_${case}}"
                 "-DQUILTOR_CORPUS_DIR=/path/to/corpus")
    string(FIND "${text}" "${needle}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the configure message lacks \"${needle}\":\n${text}")
    endif()
  endforeach()
  file(REMOVE_RECURSE "${WORK_DIR}/build")
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
