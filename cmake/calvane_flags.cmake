# Flags shared by every target of the project.
#
# Arithmetic must stay exact: every double operation is rounded as written, so no fast-math, no
# fused multiply-add contraction and no tuning for the build machine's processor.
set(CALVANE_COMMON_FLAGS -ffp-contract=off -fno-fast-math -Wall -Wextra -Wshadow -Wconversion)
if(CALVANE_WERROR)
  list(APPEND CALVANE_COMMON_FLAGS -Werror)
endif()

set(CALVANE_SANITIZER_FLAGS "")
if(CALVANE_SANITIZERS)
  string(REPLACE ";" "," _calvane_san "${CALVANE_SANITIZERS}")
  list(APPEND CALVANE_SANITIZER_FLAGS -fsanitize=${_calvane_san} -fno-omit-frame-pointer
       -fno-sanitize-recover=all)
  # GCC leaves the double-to-integer overflow check out of -fsanitize=undefined.
  if("undefined" IN_LIST CALVANE_SANITIZERS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND CALVANE_SANITIZER_FLAGS -fsanitize=float-cast-overflow)
  endif()
endif()

function(calvane_apply_flags target)
  target_compile_options(${target} PRIVATE ${CALVANE_COMMON_FLAGS} ${CALVANE_SANITIZER_FLAGS})
  target_link_options(${target} PRIVATE ${CALVANE_SANITIZER_FLAGS})
endfunction()
