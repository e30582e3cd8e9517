# Warnings for our own targets only; third-party headers come in as SYSTEM includes.
function(trackfolio_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                           -Wno-sign-conversion -Wnon-virtual-dtor -Wold-style-cast
                           -Woverloaded-virtual -Wimplicit-fallthrough)
    if(TRACKFOLIO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
