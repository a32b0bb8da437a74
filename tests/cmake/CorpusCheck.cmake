# The decoder tests compare against files other programs wrote: the PNG Suite,
# Go's broken PNGs and its JPEG/GIF variants. They are not in this repository;
# without them the tests could only fail one by one, so configuring stops here
# with what is missing and how to point the build at it.
set(QUILTOR_CORPUS_SUITES
  "pngsuite/basn2c08.png" "pngsuite/basn2c08.sng" "pngsuite/basn3p01.png"
  "png-invalid/invalid-crc32.png"
  "go-image/video-001.jpeg" "go-image/video-001.png" "go-image/video-001.5bpp.gif"
  "go-image/video-005.gray.jpeg")

function(quiltor_check_corpus dir)
  set(missing "")
  if(NOT IS_DIRECTORY "${dir}")
    set(missing "the folder itself")
  endif()
  foreach(file ${QUILTOR_CORPUS_SUITES})
    if(IS_DIRECTORY "${dir}" AND NOT EXISTS "${dir}/${file}")
      list(APPEND missing "${file}")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing ", " missingText)
    message(FATAL_ERROR
      "The tests need the real-world image corpus (pngsuite/, png-invalid/, go-image/), "
      "looked for in QUILTOR_CORPUS_DIR=${dir}; missing: ${missingText}. "
      "Put the corpus there (the project's shared/corpus folder beside the repository) or "
      "configure with -DQUILTOR_CORPUS_DIR=/path/to/corpus; "
      "-DQUILTOR_TESTS=OFF builds without the tests.")
  endif()
endfunction()
