# Project-wide compile options, applied through tdb_set_options(target).
function(tdb_set_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(TDB_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(TDB_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A library made of every .cpp in the current source folder.
function(tdb_layer_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        # A layer still made of headers only.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    tdb_set_options(${name})
endfunction()
