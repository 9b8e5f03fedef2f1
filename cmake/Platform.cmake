# Platform libraries. Only the backend files of display/, driver/ and music/
# see them; the portable libraries link none.
if(DEMO_PLATFORM STREQUAL "win32")
  if(NOT WIN32)
    message(FATAL_ERROR "The win32 platform needs the Windows toolchain (cmake/toolchain-mingw-i686.cmake)")
  endif()
  add_library(demo_platform INTERFACE)
  target_link_libraries(demo_platform INTERFACE ddraw winmm user32 kernel32 dxguid uuid)
  # Demos are judged by their size. The programs carry their C++ runtime
  # (linked statically): every function and object in a section of its own,
  # and the linker keeps only what is reached, so a program pays for the
  # parts of the runtime it calls. The release build optimises at -O2, not
  # -O3, whose unrolled and inlined copies cost a seventh of a program;
  # neither level changes floating-point results.
  add_compile_options(-ffunction-sections -fdata-sections $<$<CONFIG:Release>:-O2>)
  add_link_options(-Wl,--gc-sections)
  # The player and the maths (see music/ and render3d/) are built for size:
  # they take a few per cent of a frame's time, and -Os takes 22 KB off each
  # program. IEEE arithmetic without contraction should give the same bits
  # at any level; the Windows-against-native frame and music tests check it.
  set(DEMO_SIZE_OPTIONS $<$<CONFIG:Release>:-Os>)
elseif(DEMO_PLATFORM STREQUAL "sdl2")
  find_package(SDL2 REQUIRED)
  add_library(demo_platform INTERFACE)
  if(TARGET SDL2::SDL2)
    target_link_libraries(demo_platform INTERFACE SDL2::SDL2)
  else()
    target_include_directories(demo_platform INTERFACE ${SDL2_INCLUDE_DIRS})
    target_link_libraries(demo_platform INTERFACE ${SDL2_LIBRARIES})
  endif()
elseif(DEMO_PLATFORM STREQUAL "web")
  if(NOT EMSCRIPTEN)
    message(FATAL_ERROR "The web platform needs emscripten's toolchain (the web preset)")
  endif()
  # A plain script and module for the page to load (no generated HTML);
  # the page fetches the data files into the module's file system before
  # main runs. The canvas and Web Audio are used directly: emscripten's SDL
  # port would have to be downloaded.
  add_library(demo_platform INTERFACE)
  # Every browser in use runs WebAssembly's 128-bit vectors; the compiler
  # turns the whole-picture loops (scaling, mask, inversion, the canvas's
  # byte order) into them. Vectorizing reorders no floating-point arithmetic,
  # so the pictures and the sound stay those of the other builds.
  add_compile_options(-msimd128)
  target_link_options(demo_platform INTERFACE
    "SHELL:-s ENVIRONMENT=web"
    "SHELL:-s ALLOW_MEMORY_GROWTH=1"
    "SHELL:-s FORCE_FILESYSTEM=1"
    "SHELL:-s EXPORTED_RUNTIME_METHODS=['FS','addRunDependency','removeRunDependency']")
elseif(DEMO_PLATFORM STREQUAL "headless")
  add_library(demo_platform INTERFACE)
else()
  message(FATAL_ERROR "Unknown DEMO_PLATFORM '${DEMO_PLATFORM}'")
endif()
