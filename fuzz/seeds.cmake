# Generates the seed corpus into the build tree and compares it with the one
# checked in: every file alike, none missing, none extra.
#   cmake -DGENERATOR=exe -DCORPUS=dir -DWORK=dir -P seeds.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${GENERATOR} ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed (${rc})")
endif()
file(GLOB_RECURSE made RELATIVE ${WORK} ${WORK}/*)
file(GLOB_RECURSE kept RELATIVE ${CORPUS} ${CORPUS}/*)
list(SORT made)
list(SORT kept)
if(NOT made STREQUAL kept)
  message(FATAL_ERROR "the seed files differ from the generator's:\n  checked in: ${kept}\n  generated: ${made}\n"
                      "rebuild the target fuzz_corpus and check the result in")
endif()
foreach(f ${made})
  file(SHA256 ${WORK}/${f} a)
  file(SHA256 ${CORPUS}/${f} b)
  if(NOT a STREQUAL b)
    message(FATAL_ERROR "seed ${f} differs from the generator's: rebuild the target fuzz_corpus")
  endif()
endforeach()
