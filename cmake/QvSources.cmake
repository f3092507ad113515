# qv_glob_sources(VAR DIR): the .cpp files of a folder, keeping *_win.cpp for Windows builds and
# *_posix.cpp for the others. Each folder holds one concern per file, so adding a file needs no
# edit here.
function(qv_glob_sources var dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(kept)
  foreach(f ${all})
    if(f MATCHES "_win\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(f MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    list(APPEND kept ${f})
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()
