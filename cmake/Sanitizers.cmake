# ASan + UBSan for the whole tree when MIRANTOS_SANITIZE is on (the test command builds this too).
if(MIRANTOS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
