# The fuzz build: clang with libFuzzer's coverage and the address and undefined-behaviour
# sanitizers on every library the targets link, so a fault inside them stops the run where it
# happens. Included from the top before any library is made.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TEMPOMERE_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++); "
                      "this is ${CMAKE_CXX_COMPILER_ID}")
endif()
# Every finding aborts the run rather than printing and going on.
add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
