# cmake -DGZIP=... -DIN=file -DOUT=file.gz -P Gzip.cmake
# Best compression and no name or time stamp in the header, so the output depends only on
# the input.
execute_process(COMMAND ${GZIP} -9nc ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "gzip ${IN} failed: ${rc}")
endif()
