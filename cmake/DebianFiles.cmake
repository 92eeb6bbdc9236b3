# SPDX-License-Identifier: Apache-2.0
# Run by cpack on the staging tree, before the packages are built: what
# Debian policy asks of every package and the plain install tree lacks.
# Each component is staged in ${CPACK_TEMPORARY_DIRECTORY}/<component>.

# The changelog's latest entry is the version being packaged.
set(version ${CPACK_DEBIAN_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
file(STRINGS ${CPACK_OMBREL_DEBIAN_DIR}/changelog first_line LIMIT_COUNT 1)
if(NOT first_line MATCHES "^ombrel \\(${version}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${first_line}'; "
                      "it needs an entry for ${version} first")
endif()

find_program(GZIP gzip REQUIRED)
find_program(STRIP strip REQUIRED)
foreach(component IN LISTS CPACK_OMBREL_COMPONENTS)
  string(TOUPPER ${component} c)
  set(package ${CPACK_DEBIAN_${c}_PACKAGE_NAME})
  set(root ${CPACK_TEMPORARY_DIRECTORY}/${component})
  if(NOT IS_DIRECTORY ${root})
    message(FATAL_ERROR "no staging tree for ${component} at ${root}")
  endif()

  # Stripped as Debian strips (dh_strip): the symbols and the compiler's notes
  # left out, archives with their debugging sections removed and no time stamps.
  file(GLOB_RECURSE files ${root}/*)
  foreach(f IN LISTS files)
    file(READ ${f} magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      if(f MATCHES "\\.so(\\.|$)")
        set(how --strip-unneeded)
      else()
        set(how --strip-all)
      endif()
    elseif(f MATCHES "\\.a$")
      set(how --strip-debug --enable-deterministic-archives)
    else()
      continue()
    endif()
    execute_process(COMMAND ${STRIP} ${how} --remove-section=.comment --remove-section=.note ${f}
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  # Man pages compressed to the full, without a time stamp, so the package is reproducible.
  file(GLOB_RECURSE pages ${root}/usr/share/man/*)
  list(FILTER pages EXCLUDE REGEX "\\.gz$")
  foreach(page IN LISTS pages)
    execute_process(COMMAND ${GZIP} -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  set(doc ${root}/usr/share/doc/${package})
  file(MAKE_DIRECTORY ${doc})
  file(COPY_FILE ${CPACK_OMBREL_DEBIAN_DIR}/copyright ${doc}/copyright)
  # Signed by whoever the packaging options name as the maintainer.
  set(OMBREL_MAINTAINER "${CPACK_OMBREL_MAINTAINER}")
  configure_file(${CPACK_OMBREL_DEBIAN_DIR}/changelog ${CPACK_TEMPORARY_DIRECTORY}/changelog.Debian @ONLY)
  execute_process(COMMAND ${GZIP} -9nc ${CPACK_TEMPORARY_DIRECTORY}/changelog.Debian
                  OUTPUT_FILE ${doc}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)

  set(overrides ${root}/usr/share/lintian/overrides)
  file(MAKE_DIRECTORY ${overrides})
  file(COPY_FILE ${CPACK_OMBREL_DEBIAN_DIR}/lintian-overrides ${overrides}/${package})

  # Whatever the umask, the package holds files that only root may change and everyone may read.
  execute_process(COMMAND chmod -R u+rwX,go=rX ${root} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
