# Writes OUT, a header defining KESTROVA_COMMIT as the short commit of
# SOURCE_DIR's checkout ("" outside git), and rewrites it only when the
# commit changed: run at every build, so that a page never names the commit
# the build was configured at, yet only what includes it is rebuilt.
#   cmake -DSOURCE_DIR=... -DOUT=... -P commit-header.cmake
execute_process(COMMAND git rev-parse --short=12 HEAD WORKING_DIRECTORY "${SOURCE_DIR}"
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
  set(commit "")
endif()
set(text "#pragma once\n#define KESTROVA_COMMIT \"${commit}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
