# Compiler settings shared by every target.

set(ORBEK_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(ORBEK_WERROR)
  list(APPEND ORBEK_WARNINGS -Werror)
endif()

# Narrow literals are Shift-JIS (CP932), exactly the bytes the log and the fonts expect.
# clang only compiles literals as UTF-8, so the fuzz build (clang) leaves the flag out. Kept in
# the cache, where the function below finds it when a program's own directory calls it.
set(orbek_charset "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(orbek_charset -finput-charset=UTF-8 -fexec-charset=CP932)
endif()
set(ORBEK_CHARSET "${orbek_charset}" CACHE INTERNAL "options that compile narrow literals as Shift-JIS")

# For a program built on Orbek: the named sources (of the directory that calls it) compile
# their narrow literals as Shift-JIS with GCC, so that Japanese text written there in UTF-8
# draws as written. Only those: the standard headers (<chrono> among them) and a program's
# other literals hold characters that Shift-JIS lacks, and fail to compile as Shift-JIS.
function(orbek_shift_jis_sources)
  set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS ${ORBEK_CHARSET})
endfunction()

# Every sanitizer report stops the program, so that any report fails the tests and the fuzz
# runs (tests/sanitizer_probe.cpp checks it in both builds).
set(ORBEK_SANITIZERS "")
if(ORBEK_SANITIZE)
  set(ORBEK_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # -O1, as the sanitizers advise: the checks stay whole, and long runs (a whole game played
  # through) take a fraction of their unoptimised time. -g1 keeps the function, file and line
  # of every frame a report shows, at a fraction of the full debug information's build time.
  add_compile_options(${ORBEK_SANITIZERS} -O1 -g1)
  add_link_options(${ORBEK_SANITIZERS})
endif()
if(ORBEK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g1)
  add_link_options(-fsanitize=thread)
endif()
if(ORBEK_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -gline-tables-only)
  add_link_options(-fsanitize=address,undefined)
endif()

# Applies the project's warnings and character set to a target of our own sources.
function(orbek_target_options target)
  target_compile_options(${target} PRIVATE ${ORBEK_WARNINGS} ${ORBEK_CHARSET})
endfunction()
