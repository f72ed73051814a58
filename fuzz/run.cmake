# One harness on a fresh copy of its seed corpus, so that what a run adds to
# the corpus stays in the build tree.
#   cmake -DHARNESS=exe -DCORPUS=dir -DWORK=dir [-DARGS=a;b] -P run.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
if(NOT seeds)
  message(FATAL_ERROR "no seeds in ${CORPUS}")
endif()
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(COMMAND ${HARNESS} ${ARGS} -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${HARNESS} failed (${rc}); the input is in ${WORK}/artifacts")
endif()
