# Writes a THIRD-PARTY text, the notices of others' code that a shipped file holds, from packaging/notices/.
# kzm_notices(OUT WHAT NAME...): WHAT opens the text ("kzm2it.exe holds"), each NAME a notices/NAME.txt.
# Written at configure time, and only when the text changes.
function(kzm_notices out what)
  set(text "${what}, besides kzm2it's own code (the MIT licence, in the LICENSE file beside\n")
  string(APPEND text "it), compiled code of the projects below, whose licences ask for these notices.\n")
  foreach(name ${ARGN})
    set(file ${PROJECT_SOURCE_DIR}/packaging/notices/${name}.txt)
    file(READ ${file} body)
    string(APPEND text "\n==============================================================================\n\n${body}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  endforeach()
  file(WRITE ${out}.new "${text}")
  file(COPY_FILE ${out}.new ${out} ONLY_IF_DIFFERENT)
  file(REMOVE ${out}.new)
endfunction()
