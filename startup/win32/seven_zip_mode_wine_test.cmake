# The Seven-Zip mode of the Windows KestrixDw.exe under wine: the program writes its carried
# 7-Zip into a private run folder, unpacks the archive flat beside it with that 7-Zip and
# prints "1"; a 7z.exe and 7z.dll planted beside the archive are never run or loaded (they are
# not programs: running either would fail the unpacking) and stay as they were, and nothing
# but the unpacked files is left beside the archive. A wrong password prints nothing.
#
# cmake -DWINE_RUN=... -DKESTRIXDW=.../KestrixDw.exe -DWORK_DIR=... -P seven_zip_mode_wine_test.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var WINE_RUN KESTRIXDW WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
find_program(SEVEN_ZZ 7zz REQUIRED)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/content/data" "${WORK_DIR}/set" "${WORK_DIR}/wrong")
file(WRITE "${WORK_DIR}/content/data/inner.txt" "recovery payload\n")
execute_process(COMMAND ${SEVEN_ZZ} a -pSECRET "${WORK_DIR}/set/package.7z" data
                WORKING_DIRECTORY "${WORK_DIR}/content" RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "7zz could not make the test archive")
endif()
file(COPY "${WORK_DIR}/set/package.7z" DESTINATION "${WORK_DIR}/wrong")
file(WRITE "${WORK_DIR}/set/7z.exe" "not a program: planted beside the archive\n")
file(WRITE "${WORK_DIR}/set/7z.dll" "not a library: planted beside the archive\n")

# Runs the Seven-Zip mode on <folder>/package.7z; wine shows the Linux root as drive Z:.
function(run_mode folder password out_var)
  string(REPLACE "/" "\\" archive "Z:${WORK_DIR}/${folder}/package.7z")
  execute_process(
    COMMAND ${WINE_RUN} "${KESTRIXDW}" /Mode:SevenZip label 0 "/Pass:${password}" "${archive}"
    WORKING_DIRECTORY "${WORK_DIR}" OUTPUT_VARIABLE output ERROR_VARIABLE errors
    RESULT_VARIABLE rc TIMEOUT 120)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "KestrixDw.exe ended with ${rc}:\n${errors}")
  endif()
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

run_mode(set SECRET output)
if(NOT output STREQUAL "1\n")
  message(FATAL_ERROR "the right password printed [${output}], expected [1\\n]")
endif()
foreach(file 7z.exe 7z.dll)
  file(READ "${WORK_DIR}/set/${file}" planted)
  if(NOT planted MATCHES "^not a ")
    message(FATAL_ERROR "the planted ${file} was replaced")
  endif()
endforeach()
file(GLOB left RELATIVE "${WORK_DIR}/set" "${WORK_DIR}/set/*")
list(SORT left)
if(NOT left STREQUAL "7z.dll;7z.exe;data;inner.txt;package.7z")
  message(FATAL_ERROR "beside the archive after the run: ${left}")
endif()
file(READ "${WORK_DIR}/set/inner.txt" content)
if(NOT content STREQUAL "recovery payload\n")
  message(FATAL_ERROR "inner.txt was not unpacked flat beside the archive: [${content}]")
endif()

run_mode(wrong WRONG output)
if(NOT output STREQUAL "")
  message(FATAL_ERROR "a wrong password printed [${output}]")
endif()
message(STATUS "Seven-Zip mode: printed 1 through the carried 7-Zip; a wrong password, nothing")
