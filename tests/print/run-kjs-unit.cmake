# Runs amounts-unit.js in KJS, the engine of Okular 22.12, whose shell
# (kjs5) reads no files and takes no arguments: a script that holds the
# arguments and the table of cases loads the runner.
#   cmake -DKJS=kjs5 -DRUNNER=amounts-unit.js -DSCRIPTS=dir -DCASES=amount-cases.json -DWORK=dir
#         -P run-kjs-unit.cmake
file(READ "${CASES}" cases)
set(start "${WORK}/kjs-amounts-unit.js")
# KJS's load() prints what the loaded script throws and goes on: the runner
# says whether it passed in a variable.
file(WRITE "${start}" "var unitArgs = [\"${SCRIPTS}\"];\nvar unitCases = ${cases};\nload(\"${RUNNER}\");\n"
    "if (typeof unitPassed == \"undefined\" || !unitPassed)\n    throw new Error(\"the cases did not pass\");\n")
execute_process(COMMAND "${KJS}" "${start}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "KJS ended with ${status}")
endif()
