# Every target of ours gets the same warning set; mirantos_warnings is linked privately.
add_library(mirantos_warnings INTERFACE)
target_compile_options(mirantos_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(MIRANTOS_WERROR)
  target_compile_options(mirantos_warnings INTERFACE -Werror)
endif()
