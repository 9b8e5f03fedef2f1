# Demos are judged by their size: each program must fit LIMIT bytes.
#   cmake -DLIMIT=BYTES -DFILES=a.exe;b.exe -P check_sizes.cmake
set(failed FALSE)
foreach(file IN LISTS FILES)
  file(SIZE "${file}" size)
  get_filename_component(name "${file}" NAME)
  math(EXPR kib "(${size} + 1023) / 1024")
  if(size GREATER LIMIT)
    message(SEND_ERROR "${name}: ${size} bytes (${kib} KB), over the ${LIMIT} allowed")
    set(failed TRUE)
  else()
    message(STATUS "${name}: ${size} bytes (${kib} KB)")
  endif()
endforeach()
