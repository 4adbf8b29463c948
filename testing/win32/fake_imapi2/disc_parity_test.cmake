# The Windows disc service burning into the fake IMAPI2 server under wine must make the same
# calls, get the same answers and see the same progress events as the Linux build burning into
# the simulated machine, scenario by scenario, on the same small ISO image.
#
# cmake -DWINE_RUN=... -DWINDOWS_TRANSCRIPT=.../disc_transcript.exe -DHOST_BIN_DIR=...
#       -DWORK_DIR=... -P disc_parity_test.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var WINE_RUN WINDOWS_TRANSCRIPT HOST_BIN_DIR WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
set(host_transcript "${HOST_BIN_DIR}/kestrune-disc-transcript")
set(sampleset "${HOST_BIN_DIR}/kestrune-sampleset")
foreach(program "${host_transcript}" "${sampleset}")
  if(NOT EXISTS "${program}")
    message(FATAL_ERROR "the Linux build is missing ${program} (build the host preset first)")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${sampleset}" --out "${WORK_DIR}/set" --size 600K --discs 1
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK_DIR}/set/disc1.iso")
  message(FATAL_ERROR "kestrune-sampleset made no image: ${errors}")
endif()
set(image "${WORK_DIR}/set/disc1.iso")
string(REPLACE "/" "\\" image_windows "Z:${image}")

execute_process(COMMAND "${host_transcript}" --list OUTPUT_VARIABLE scenarios RESULT_VARIABLE rc)
string(REGEX REPLACE "\n$" "" scenarios "${scenarios}")
string(REPLACE "\n" ";" scenarios "${scenarios}")
list(LENGTH scenarios count)
if(NOT rc EQUAL 0 OR count LESS 5)
  message(FATAL_ERROR "kestrune-disc-transcript lists no scenarios")
endif()

set(failures 0)
foreach(scenario IN LISTS scenarios)
  execute_process(COMMAND "${host_transcript}" "${scenario}" "${image}"
                  OUTPUT_VARIABLE linux RESULT_VARIABLE linux_rc ERROR_VARIABLE linux_err)
  execute_process(COMMAND ${WINE_RUN} "${WINDOWS_TRANSCRIPT}" "${scenario}" "${image_windows}"
                  OUTPUT_VARIABLE windows RESULT_VARIABLE windows_rc ERROR_VARIABLE windows_err
                  TIMEOUT 120)
  string(REPLACE "\r\n" "\n" windows "${windows}")
  file(WRITE "${WORK_DIR}/${scenario}.linux.txt" "${linux}")
  file(WRITE "${WORK_DIR}/${scenario}.windows.txt" "${windows}")
  if(NOT linux_rc EQUAL 0 OR NOT windows_rc EQUAL 0)
    message(SEND_ERROR "${scenario}: Linux ended ${linux_rc} ${linux_err}, Windows ${windows_rc} "
                       "${windows_err}")
    math(EXPR failures "${failures} + 1")
  elseif(NOT linux STREQUAL windows)
    execute_process(COMMAND diff -u "${WORK_DIR}/${scenario}.linux.txt"
                            "${WORK_DIR}/${scenario}.windows.txt" OUTPUT_VARIABLE difference)
    message(SEND_ERROR "${scenario}: the transcripts differ\n${difference}")
    math(EXPR failures "${failures} + 1")
  elseif(linux STREQUAL "")
    message(SEND_ERROR "${scenario}: both transcripts are empty")
    math(EXPR failures "${failures} + 1")
  else()
    string(REGEX MATCHALL "Update action" events "${linux}")
    list(LENGTH events event_count)
    message(STATUS "${scenario}: same calls and ${event_count} events on both")
  endif()
endforeach()
# The comparison means something only if a burn went through on both.
file(READ "${WORK_DIR}/blank-dl-full-verification.windows.txt" burned)
if(NOT burned MATCHES "\nWrite -> 0x00000000\n")
  message(SEND_ERROR "the plain burn did not succeed:\n${burned}")
  math(EXPR failures "${failures} + 1")
endif()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} scenario(s) differ between Linux and Windows")
endif()
