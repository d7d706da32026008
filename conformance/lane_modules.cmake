# The lane's real modules for Wine (the product's port monitor, print processor and
# driver) carry the resources of their sample recipes in samples/components: a native
# mkimage writes each recipe as a resource script for windres, so that the recipe
# stays the one place where a component's names and versions are written.
include(ExternalProject)
set(ORV_NATIVE_MKIMAGE ${CMAKE_BINARY_DIR}/native-mkimage/mkimage/mkimage)
ExternalProject_Add(native_mkimage
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/cmake/native-mkimage
  BINARY_DIR ${CMAKE_BINARY_DIR}/native-mkimage
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DORV_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target mkimage_cli
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${ORV_NATIVE_MKIMAGE})

set(ORV_RECIPES_DIR ${CMAKE_SOURCE_DIR}/samples/components)

# orv_lane_module(TARGET FILE RECIPE SOURCES... [FILE_VERSION A.B.C.D] [DIRECTORY DIR])
# A DLL named FILE built from SOURCES with the resources of RECIPE (a file name of
# samples/components without .toml); FILE_VERSION makes a newer build of it.
function(orv_lane_module target file recipe)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "FILE_VERSION;DIRECTORY" "")
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set(version)
  if(arg_FILE_VERSION)
    set(version --file-version ${arg_FILE_VERSION})
  endif()
  add_custom_command(OUTPUT ${script}
    COMMAND ${ORV_NATIVE_MKIMAGE} ${ORV_RECIPES_DIR}/${recipe}.toml --rc ${script} ${version}
    DEPENDS native_mkimage ${ORV_NATIVE_MKIMAGE} ${ORV_RECIPES_DIR}/${recipe}.toml
    COMMENT "Resources of ${file} from ${recipe}.toml"
    VERBATIM)
  get_filename_component(stem ${file} NAME_WE)
  get_filename_component(extension ${file} EXT)
  add_library(${target} SHARED ${arg_UNPARSED_ARGUMENTS} ${script})
  # The import library is named after the target: two builds of one file must not share it.
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${stem} SUFFIX ${extension} ARCHIVE_OUTPUT_NAME ${target})
  if(arg_DIRECTORY)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${arg_DIRECTORY})
  endif()
  target_compile_options(${target} PRIVATE ${ORV_WARNING_FLAGS})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
endfunction()

# orv_lane_image(OUTPUT RECIPE [FILE_VERSION A.B.C.D]): a component without code (the
# 16-bit driver), written by the native mkimage as the samples are.
function(orv_lane_image output recipe)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "FILE_VERSION" "")
  set(version)
  if(arg_FILE_VERSION)
    set(version --file-version ${arg_FILE_VERSION})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${ORV_NATIVE_MKIMAGE} ${ORV_RECIPES_DIR}/${recipe}.toml --arch x64 -o ${output} ${version}
    DEPENDS native_mkimage ${ORV_NATIVE_MKIMAGE} ${ORV_RECIPES_DIR}/${recipe}.toml
    COMMENT "Lane component ${output}"
    VERBATIM)
endfunction()
