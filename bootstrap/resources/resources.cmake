# The extractor's resources. Include this file from the directory of a target that carries them
# and add ${KV_STUB_RESOURCES} to its sources; the resource script finds its manifest here and
# the generated icon in the host build's generated folder.
set(KV_STUB_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KV_STUB_ICON ${KV_HOST_BUILD_DIR}/generated/kvsfx.ico)
set(KV_STUB_RESOURCES ${KV_STUB_RESOURCE_DIR}/kvsfx.rc)
set(KV_STUB_RESOURCE_INCLUDES ${KV_STUB_RESOURCE_DIR} ${KV_HOST_BUILD_DIR}/generated)
set_source_files_properties(${KV_STUB_RESOURCES} PROPERTIES
  INCLUDE_DIRECTORIES "${KV_STUB_RESOURCE_INCLUDES}"
  OBJECT_DEPENDS "${KV_STUB_RESOURCE_DIR}/kvsfx.manifest;${KV_STUB_RESOURCE_DIR}/resource_ids.h;${KV_STUB_ICON}")
