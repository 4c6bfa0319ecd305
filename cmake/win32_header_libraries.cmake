# The header-only libraries for the cross build: their host CMake configs would put all of
# /usr/include on the MinGW compiler's path, so only their own folders are linked in.
set(stage ${PROJECT_BINARY_DIR}/host-headers)
foreach(dir nlohmann CLI)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps")
  endif()
  file(MAKE_DIRECTORY ${stage})
  file(CREATE_LINK /usr/include/${dir} ${stage}/${dir} SYMBOLIC)
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${stage})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${stage})
