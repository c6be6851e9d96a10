# Included by the folder that defines the vandrel executable: after every link, the tool payload
# (built in resources/payload/) is appended to the program. The program relinks when the payload
# changes, so the appended copy is never stale.
set(VANDREL_PAYLOAD_ZIP ${CMAKE_BINARY_DIR}/resources/payload/payload.zip)
# First the debug information moves to vandrel.debug beside the program (debuggers find it by
# the link left in its place): the shipped file is a third of the size, and the marker scan at
# every start reads 2 MB instead of 25. Sanitizer builds keep it inside, for their reports.
if(NOT VANDREL_SANITIZE AND CMAKE_OBJCOPY)
  add_custom_command(TARGET vandrel POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:vandrel> $<TARGET_FILE:vandrel>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE:vandrel>.debug
              $<TARGET_FILE:vandrel>
      COMMENT "Moving vandrel's debug information to vandrel.debug"
      VERBATIM)
endif()
add_custom_command(TARGET vandrel POST_BUILD
    COMMAND vandrel_append_payload $<TARGET_FILE:vandrel> ${VANDREL_PAYLOAD_ZIP}
    COMMENT "Appending the tool payload to vandrel"
    VERBATIM)
add_dependencies(vandrel vandrel_payload vandrel_append_payload)
set_property(TARGET vandrel APPEND PROPERTY LINK_DEPENDS ${VANDREL_PAYLOAD_ZIP})

# Installed as a plain file, never through install(TARGETS): `cmake --install --strip` strips
# targets only, and stripping would cut the payload off the program's end.
include(GNUInstallDirs)
install(PROGRAMS $<TARGET_FILE:vandrel> DESTINATION ${CMAKE_INSTALL_BINDIR})
