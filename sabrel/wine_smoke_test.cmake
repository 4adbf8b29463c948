# The Windows build of Sabrel, run under wine, must reach the same verdict as the Linux
# build on the same drive folder and list: the same exit code and the same error file.
#
# cmake -DWINE_RUN=... -DWINDOWS_SABREL=...Sabrel.exe -DHOST_SABREL=.../sabrel
#       -DWORK_DIR=... -P wine_smoke_test.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var WINE_RUN WINDOWS_SABREL HOST_SABREL WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${HOST_SABREL}")
  message(FATAL_ERROR "no Linux build of Sabrel at ${HOST_SABREL}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
set(drive "${WORK_DIR}/drive")
file(MAKE_DIRECTORY "${WORK_DIR}/work")

# wine shows the Linux root as drive Z:.
function(windows_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()
windows_path(drive_win "${drive}")

set(install_content "")
foreach(i RANGE 2000)
  string(APPEND install_content "install image block ${i}\n")
endforeach()
set(files "version.doc" "sources/install.wim" "media/1_1.txt" "dür/日本.txt")
set(contents "version 1.0\n" "${install_content}" "index" "non-ASCII name")

# Writes the drive's files and a list in `list_name` whose paths start with `prefix`.
function(make_set list_name prefix)
  set(list_text "")
  foreach(i RANGE 3)
    list(GET files ${i} name)
    list(GET contents ${i} content)
    file(WRITE "${drive}/${name}" "${content}")
    file(MD5 "${drive}/${name}" digest)
    string(REPLACE "/" "\\" listed "${prefix}${name}")
    string(APPEND list_text "${digest} ${listed}\r\n")
  endforeach()
  file(WRITE "${WORK_DIR}/work/${list_name}" "${list_text}")
endfunction()

# Runs both builds; both must exit with `expected` and leave identical error files.
function(expect_same case expected)
  cmake_parse_arguments(ARG "" "" "HOST_ARGS;WINDOWS_ARGS" ${ARGN})
  file(REMOVE "${WORK_DIR}/work/host_error.txt" "${WORK_DIR}/work/windows_error.txt")
  execute_process(COMMAND "${HOST_SABREL}" ${ARG_HOST_ARGS} -e host_error.txt
                  WORKING_DIRECTORY "${WORK_DIR}/work" RESULT_VARIABLE host_rc
                  OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND "${WINE_RUN}" "${WINDOWS_SABREL}" ${ARG_WINDOWS_ARGS} -e windows_error.txt
                  WORKING_DIRECTORY "${WORK_DIR}/work" RESULT_VARIABLE windows_rc
                  OUTPUT_VARIABLE windows_out ERROR_VARIABLE windows_err)
  if(NOT host_rc STREQUAL "${expected}" OR NOT windows_rc STREQUAL "${expected}")
    message(FATAL_ERROR "${case}: expected exit code ${expected}, Linux gave ${host_rc}, "
                        "Windows gave ${windows_rc}\n${windows_out}${windows_err}")
  endif()
  set(host_file "${WORK_DIR}/work/host_error.txt")
  set(windows_file "${WORK_DIR}/work/windows_error.txt")
  if(EXISTS "${host_file}" OR EXISTS "${windows_file}")
    file(READ "${host_file}" host_text)
    file(READ "${windows_file}" windows_text)
    if(NOT host_text STREQUAL windows_text)
      message(FATAL_ERROR "${case}: the error files differ\nLinux:\n${host_text}\nWindows:\n${windows_text}")
    endif()
  endif()
  message(STATUS "${case}: both builds exit ${expected}")
endfunction()

make_set(list.txt "")
expect_same("good set" 0
  HOST_ARGS -c list.txt -d "${drive}" WINDOWS_ARGS -c list.txt -d "${drive_win}")

# The wizard's form: a drive letter and a colon means that drive's root, here Z:\ = /.
string(REGEX REPLACE "^/" "" drive_below_root "${drive}/")
make_set(rooted.txt "${drive_below_root}")
expect_same("drive letter" 0 HOST_ARGS -c rooted.txt -d / WINDOWS_ARGS -c rooted.txt -d Z:)

string(REPLACE "block 1000" "block 1001" flipped "${install_content}")
file(WRITE "${drive}/sources/install.wim" "${flipped}")
expect_same("flipped byte" 1
  HOST_ARGS -c list.txt -d "${drive}" WINDOWS_ARGS -c list.txt -d "${drive_win}")

make_set(list.txt "")
file(REMOVE "${drive}/media/1_1.txt")
expect_same("missing file" 2
  HOST_ARGS -c list.txt -d "${drive}" WINDOWS_ARGS -c list.txt -d "${drive_win}")

file(MAKE_DIRECTORY "${drive}/media/1_1.txt")
expect_same("folder in place of a file" 3
  HOST_ARGS -c list.txt -d "${drive}" WINDOWS_ARGS -c list.txt -d "${drive_win}")

file(REMOVE_RECURSE "${drive}/media/1_1.txt")
make_set(list.txt "")
file(APPEND "${WORK_DIR}/work/list.txt" "d41d8cd98f00b204e9800998ecf8427e ..\\work\\list.txt\r\n")
expect_same("path leaving the drive" 4
  HOST_ARGS -c list.txt -d "${drive}" WINDOWS_ARGS -c list.txt -d "${drive_win}")

file(WRITE "${WORK_DIR}/work/empty.txt" "")
expect_same("empty list" 4
  HOST_ARGS -c empty.txt -d "${drive}" WINDOWS_ARGS -c empty.txt -d "${drive_win}")

expect_same("usage" 5 HOST_ARGS -c list.txt WINDOWS_ARGS -c list.txt)
