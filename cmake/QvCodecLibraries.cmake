# The codec libraries under the converter module: zlib, libpng and libjpeg-turbo, as the targets
# ZLIB::ZLIB, PNG::PNG and JPEG::JPEG. The Linux build links Debian's packages of them; the Windows
# builds, and the fuzzers (instrumented as the fuzzers are), link static libraries built by
# scripts/codec-libraries from Debian's source packages of the same versions. Every build thus
# decodes and encodes with the same code, and the configure refuses any other version.

# Source package, the Linux build's development package, upstream version. Changing a version
# changes pixels: update the golden checksums of tests/zentile with it.
set(qv_codec_pins "zlib:zlib1g-dev:1.2.13;libpng1.6:libpng-dev:1.6.39;libjpeg-turbo:libjpeg62-turbo-dev:2.1.5")

# Builds (or finds built) the libraries for this configuration's compiler into build/codecs/.
function(qv_build_codec_libraries)
  set(cflags -ffp-contract=off)
  set(ldflags "")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
    list(APPEND cflags -msse2 -mfpmath=sse)
  endif()
  if(QV_FUZZ)
    set(flavour fuzz)
    list(APPEND cflags -g -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
    set(ldflags -fsanitize=address)
  else()
    set(flavour windows-${CMAKE_SYSTEM_PROCESSOR})
  endif()
  list(JOIN cflags " " cflags)
  set(arguments "-DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}" "-DCMAKE_C_FLAGS=${cflags}" "-DCMAKE_EXE_LINKER_FLAGS=${ldflags}")
  if(CMAKE_TOOLCHAIN_FILE)
    list(APPEND arguments "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}")
  endif()

  set(codecs ${PROJECT_SOURCE_DIR}/build/codecs)
  file(MAKE_DIRECTORY ${codecs})
  # Configures of several builds at once share the sources and must not fetch them twice.
  file(LOCK ${codecs}/lock GUARD FUNCTION TIMEOUT 1800)
  message(STATUS "Codec libraries for ${flavour}: build/codecs/${flavour}")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/codec-libraries ${flavour} "${qv_codec_pins}" -- ${arguments}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "The codec libraries for ${flavour} could not be built (the reason is above).")
  endif()

  set(prefix ${codecs}/${flavour})
  add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
  set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${prefix}/lib/libz.a INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
  add_library(PNG::PNG STATIC IMPORTED GLOBAL)
  set_target_properties(PNG::PNG PROPERTIES IMPORTED_LOCATION ${prefix}/lib/libpng16.a INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
                                            INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
  set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_LOCATION ${prefix}/lib/libjpeg.a INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
  set(qv_zlib_h ${prefix}/include/zlib.h PARENT_SCOPE)
  set(qv_png_h ${prefix}/include/png.h PARENT_SCOPE)
  set(qv_jconfig_h ${prefix}/include/jconfig.h PARENT_SCOPE)
endfunction()

# qv_codec_version(VAR HEADER MACRO): the version a header states, quotes removed.
function(qv_codec_version var header macro)
  file(STRINGS ${header} line REGEX "^#define[ \t]+${macro}[ \t]")
  string(REGEX REPLACE "^#define[ \t]+${macro}[ \t]+\"?([^\" \t]*)\"?.*$" "\\1" version "${line}")
  set(${var} "${version}" PARENT_SCOPE)
endfunction()

# Checks that the headers this build compiles against state the pinned versions.
function(qv_check_codec_versions)
  qv_codec_version(zlib ${qv_zlib_h} ZLIB_VERSION)
  qv_codec_version(png ${qv_png_h} PNG_LIBPNG_VER_STRING)
  qv_codec_version(jpeg ${qv_jconfig_h} LIBJPEG_TURBO_VERSION)
  set(found "zlib:${zlib};libpng1.6:${png};libjpeg-turbo:${jpeg}")
  foreach(pin ${qv_codec_pins})
    string(REPLACE ":" ";" pin "${pin}")
    list(GET pin 0 package)
    list(GET pin 2 pinned)
    if(NOT "${package}:${pinned}" IN_LIST found)
      message(FATAL_ERROR "The codec headers of this build (${found}) are not the pinned ${package} ${pinned}: "
                          "every build must decode with the same versions (cmake/QvCodecLibraries.cmake).")
    endif()
  endforeach()
  message(STATUS "Codec libraries: zlib ${zlib}, libpng ${png}, libjpeg-turbo ${jpeg}")
endfunction()

if(WIN32 OR QV_FUZZ)
  qv_build_codec_libraries()
else()
  find_package(ZLIB REQUIRED)
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  find_file(qv_zlib_h zlib.h PATHS ${ZLIB_INCLUDE_DIRS} NO_CACHE REQUIRED)
  find_file(qv_png_h png.h PATHS ${PNG_INCLUDE_DIRS} NO_CACHE REQUIRED)
  find_file(qv_jconfig_h jconfig.h PATHS ${JPEG_INCLUDE_DIRS} NO_CACHE REQUIRED)
endif()
qv_check_codec_versions()
