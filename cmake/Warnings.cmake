# Warning flags for the project's own targets only; users building the tool are
# not forced into -Werror, CI and the presets are.
add_library(compenv_warnings INTERFACE)
if(MSVC)
    target_compile_options(compenv_warnings INTERFACE /W4 $<$<BOOL:${COMPENV_WARNINGS_AS_ERRORS}>:/WX>)
else()
    target_compile_options(compenv_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        $<$<BOOL:${COMPENV_WARNINGS_AS_ERRORS}>:-Werror>)
endif()
