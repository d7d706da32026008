# One list of the library's sources, used by the DLL and by the host build.
set(ORV_LIBRARY_SOURCES
  frame/dllmain.cpp
  frame/platform_flags.cpp
)
set(ORV_STRING_TABLE ${CMAKE_SOURCE_DIR}/src/frame/orvinstl.rc)
set(ORV_EXPORT_LIST ${CMAKE_SOURCE_DIR}/src/frame/orvinstl.def)
