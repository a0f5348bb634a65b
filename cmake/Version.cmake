# The program's version, set once in project(VERSION) and read by the window's caption,
# `mirantos-cli --version`, the manual pages and the package: link mirantos_version and
# include "MirantosVersion.h".
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/MirantosVersion.h @ONLY)
add_library(mirantos_version INTERFACE)
target_include_directories(mirantos_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
