# zlib's own sources for Brannic.dll, taken at build time from the tarball of
# Debian's binutils-source package (its zlib/ folder). Only the files the
# DLL's calls need are extracted, into the build folder; none is kept in the
# source tree. Built a function to a section, the linker then drops every
# zlib call that no export reaches, which a prebuilt libz.a (one section
# per file) does not allow.
#
# qvn_brannic_zlib(DIR SOURCES_VAR): extracts into DIR and sets SOURCES_VAR
# to the extracted .c and .h files, to be added to the DLL's sources.
set(QVN_BINUTILS_SOURCE /usr/src/binutils CACHE PATH
  "Folder of binutils-*.tar.xz, whose zlib/ sources Brannic.dll is built from")

function(qvn_brannic_zlib dir sources_var)
  file(GLOB tarballs ${QVN_BINUTILS_SOURCE}/binutils-*.tar.xz)
  if(NOT tarballs)
    message(FATAL_ERROR "Brannic.dll's zlib is built from the zlib sources in "
      "${QVN_BINUTILS_SOURCE}/binutils-*.tar.xz, and there is none: install Debian's "
      "package binutils-source (tools/install-deps.sh does).")
  endif()
  # The newest, should the package ever carry more than one.
  list(SORT tarballs COMPARE NATURAL ORDER DESCENDING)
  list(GET tarballs 0 tarball)
  set(sources adler32.c compress.c uncompr.c deflate.c trees.c inflate.c inffast.c inftrees.c zutil.c)
  set(headers zlib.h zconf.h zutil.h deflate.h trees.h inflate.h inffast.h inffixed.h inftrees.h gzguts.h)
  set(members)
  set(outputs)
  foreach(f IN LISTS sources headers)
    list(APPEND members "binutils-*/zlib/${f}")
    list(APPEND outputs ${dir}/${f})
  endforeach()
  # Extracted afresh whenever the tarball changes; tar fails, and the build
  # with it, when a file is missing from it. The tarball holds every file
  # twice, the second time as a hard link to itself: only the first is
  # taken, and a name's * stops at a folder, so nothing nested in zlib/ of
  # the same name can stand in for a file.
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND tar -xJf ${tarball} -C ${dir} --strip-components=2 --wildcards
      --no-wildcards-match-slash --occurrence=1 --no-same-owner ${members}
    COMMAND ${CMAKE_COMMAND} -E touch ${outputs}
    DEPENDS ${tarball}
    COMMENT "Extracting zlib's sources from ${tarball}"
    VERBATIM)
  set(${sources_var} ${outputs} PARENT_SCOPE)
endfunction()
