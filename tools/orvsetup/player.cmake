# orvplayer.exe: the script player for Windows, with the real OrvInstl.dll and the
# product's modules that must be real code under Wine beside it.

# toml++ is header-only: its folder alone is offered to the cross compiler, never the
# host's /usr/include with it.
find_path(ORV_TOMLPP_ROOT toml++/toml.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(tomlpp_headers ${CMAKE_CURRENT_BINARY_DIR}/tomlpp)
file(MAKE_DIRECTORY ${tomlpp_headers})
file(CREATE_LINK ${ORV_TOMLPP_ROOT}/toml++ ${tomlpp_headers}/toml++ SYMBOLIC)

add_library(orvsetup_engine STATIC ${ORVSETUP_ENGINE_SOURCES})
target_include_directories(orvsetup_engine PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_include_directories(orvsetup_engine SYSTEM PUBLIC ${tomlpp_headers})
target_link_libraries(orvsetup_engine PRIVATE orvsetup_json)
target_compile_options(orvsetup_engine PRIVATE ${ORV_WARNING_FLAGS})

add_executable(orvplayer player_main.cpp windows_as_found.cpp service_watch.cpp)
target_link_libraries(orvplayer PRIVATE orvsetup_engine orvsetup_json winspool)
target_compile_options(orvplayer PRIVATE ${ORV_WARNING_FLAGS})
# No runtime DLLs beside the program: Wine needs nothing but what lies here.
target_link_options(orvplayer PRIVATE -static -static-libgcc -static-libstdc++)

# LoadLibraryA finds the library in the program's folder; the [sources] files that Wine's
# spooler loads and runs (monitor, processor, drivers) or the library loads (the thunk)
# are taken from components/ here, the others from the host build's sample images.
set(player_files)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/components)
function(orv_player_copy file target)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/${file})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${copy}
    DEPENDS ${target}
    VERBATIM)
  set(player_files ${player_files} ${copy} PARENT_SCOPE)
endfunction()
orv_player_copy(OrvInstl.dll OrvInstl)
foreach(module orvmon orvproc orvdrv orvdrv351 orvdrvui brg32res)
  orv_player_copy(components/${module}.dll ${module})
endforeach()
add_custom_target(orvplayer_files ALL DEPENDS ${player_files})
add_dependencies(orvplayer orvplayer_files)
