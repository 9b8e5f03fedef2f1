# demo_build_time_program(NAME LIBRARY): a generator that runs during the
# build, from main.cpp beside the calling CMakeLists.txt and LIBRARY. When the
# demo is cross-compiled it has to run where the build runs, so the folder's
# host/ project builds a copy of it with the host's compiler; that copy makes
# the same bytes as the native one. Sets NAME_command (what to run) and
# NAME_target (what to depend on) in the caller's scope.
function(demo_build_time_program name library)
  if(CMAKE_CROSSCOMPILING)
    include(ExternalProject)
    find_program(DEMO_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    ExternalProject_Add(${name}_host
      SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/host
      BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/host
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DDEMO_SOURCE_DIR=${PROJECT_SOURCE_DIR}
                 -DCMAKE_TOOLCHAIN_FILE= -DCMAKE_CXX_COMPILER=${DEMO_HOST_CXX}
      BUILD_ALWAYS ON
      INSTALL_COMMAND "")
    set(${name}_command ${CMAKE_CURRENT_BINARY_DIR}/host/${name} PARENT_SCOPE)
    set(${name}_target ${name}_host PARENT_SCOPE)
  else()
    add_executable(${name} main.cpp)
    target_link_libraries(${name} PRIVATE ${library} demo_warnings)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set(${name}_command $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(${name}_target ${name} PARENT_SCOPE)
  endif()
endfunction()
