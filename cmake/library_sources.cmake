# One list of the library's sources, used by the DLL and by the host build.
set(ORV_LIBRARY_SOURCES
  frame/catalogue.cpp
  frame/dllmain.cpp
  frame/error_state.cpp
  frame/exe_bitness.cpp
  frame/install_allowed.cpp
  frame/memory.cpp
  frame/platform_flags.cpp
  frame/recorders.cpp
  frame/text_builder.cpp
  files/directories.cpp
  files/file_delete.cpp
  files/pending_replacements.cpp
  files/wininit_lines.cpp
  files/safe_copy.cpp
  files/versions.cpp
  printers/creation.cpp
  printers/default_file_name.cpp
  printers/default_printer.cpp
  printers/deletion.cpp
  printers/devmode_defaults.cpp
  printers/enumeration.cpp
  printers/printer_context.cpp
  printers/printer_definition.cpp
  printers/printer_record.cpp
  printers/profile_text.cpp
  printers/settings_9x.cpp
  printers/settings_catalogue.cpp
  registry/registry_cache.cpp
  registry/registry_path.cpp
  registry/registry_values.cpp
  spooler/companions.cpp
  spooler/monitors.cpp
  spooler/service_control.cpp
)
set(ORV_STRING_TABLE ${CMAKE_SOURCE_DIR}/src/frame/orvinstl.rc)
set(ORV_EXPORT_LIST ${CMAKE_SOURCE_DIR}/src/frame/orvinstl.def)
