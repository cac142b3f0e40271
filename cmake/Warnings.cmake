# One INTERFACE target that every Brindle target links: warnings, optional -Werror, sanitizers.
add_library(brindle_warnings INTERFACE)
target_compile_options(brindle_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
if(BRINDLE_WERROR)
  target_compile_options(brindle_warnings INTERFACE -Werror)
endif()

if(BRINDLE_SANITIZE AND BRINDLE_TSAN)
  message(FATAL_ERROR "BRINDLE_SANITIZE and BRINDLE_TSAN cannot be combined")
endif()
if(BRINDLE_SANITIZE)
  target_compile_options(brindle_warnings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(brindle_warnings INTERFACE -fsanitize=address,undefined)
endif()
if(BRINDLE_TSAN)
  target_compile_options(brindle_warnings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(brindle_warnings INTERFACE -fsanitize=thread)
endif()

# GCC 12 reports a false -Wrestrict inside libstdc++ for some string concatenations
# (GCC bug 105329); it is fixed in GCC 13.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(brindle_warnings INTERFACE -Wno-restrict)
endif()
