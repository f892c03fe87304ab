# Compiler settings shared by every target of the project.
add_library(tavrel_options INTERFACE)
target_compile_options(tavrel_options INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wconversion -Wno-sign-conversion>
  $<$<BOOL:${TAVREL_WARNINGS_AS_ERRORS}>:-Werror>)
if(TAVREL_SANITIZE)
  target_compile_options(tavrel_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tavrel_options INTERFACE -fsanitize=address,undefined)
endif()
# The fuzz build instruments every target for libFuzzer's coverage, the library included; only the fuzz
# targets link libFuzzer itself.
if(TAVREL_BUILD_FUZZ)
  target_compile_options(tavrel_options INTERFACE -fsanitize=fuzzer-no-link)
  target_link_options(tavrel_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
