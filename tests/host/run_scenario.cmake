# Runs tobrisk-host under Wine and compares what it prints with an expected
# transcript, and its exit code with the expected one. On a difference the
# actual transcript is kept beside the test's build files.
# Usage: cmake -DEMULATOR=wine -DHOST=... -DEXPECTED=... -DACTUAL=... -DEXIT=N
#              -DINPUT=... "-DARGUMENTS=a|b|c" -P run_scenario.cmake
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
execute_process(COMMAND ${EMULATOR} "${HOST}" ${arguments}
    INPUT_FILE "${INPUT}"
    OUTPUT_VARIABLE actual
    ERROR_VARIABLE errors
    RESULT_VARIABLE code)
file(WRITE "${ACTUAL}" "${actual}")
file(READ "${EXPECTED}" expected)

set(problems "")
if(NOT actual STREQUAL expected)
    execute_process(COMMAND diff -u "${EXPECTED}" "${ACTUAL}" OUTPUT_VARIABLE difference)
    string(APPEND problems "the transcript differs from ${EXPECTED}:\n${difference}\n")
endif()
if(NOT code STREQUAL EXIT)
    string(APPEND problems "the exit code is ${code}, not ${EXIT}\n")
endif()
if(problems)
    message(FATAL_ERROR "${problems}(the transcript is in ${ACTUAL})")
endif()
message(STATUS "transcript and exit code ${code} as expected")
