# Included by the folder that defines the vandrel executable: after every link, the tool payload
# (built in resources/payload/) is appended to the program. The program relinks when the payload
# changes, so the appended copy is never stale.
set(VANDREL_PAYLOAD_ZIP ${CMAKE_BINARY_DIR}/resources/payload/payload.zip)
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
