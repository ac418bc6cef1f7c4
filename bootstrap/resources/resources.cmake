# The extractor's resources. Include this file from the directory of a target that carries them
# and add ${KV_STUB_RESOURCES} to its sources; the resource script finds the manifest made here
# for the build's architecture and the generated icon in the host build's generated folder.
set(KV_STUB_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KV_STUB_ICON ${KV_HOST_BUILD_DIR}/generated/kvsfx.ico)
set(KV_STUB_RESOURCES ${KV_STUB_RESOURCE_DIR}/kvsfx.rc)
# The manifest names the processor architecture twice: the program's and the common controls'.
if(KV_ARCH STREQUAL "x64")
  set(KV_MANIFEST_ARCH amd64)
else()
  set(KV_MANIFEST_ARCH x86)
endif()
set(KV_STUB_MANIFEST_DIR ${CMAKE_BINARY_DIR}/generated/manifest)
configure_file(${KV_STUB_RESOURCE_DIR}/kvsfx.manifest.in ${KV_STUB_MANIFEST_DIR}/kvsfx.manifest @ONLY)
set(KV_STUB_RESOURCE_INCLUDES ${KV_STUB_RESOURCE_DIR} ${KV_STUB_MANIFEST_DIR}
    ${KV_HOST_BUILD_DIR}/generated)
set_source_files_properties(${KV_STUB_RESOURCES} PROPERTIES
  INCLUDE_DIRECTORIES "${KV_STUB_RESOURCE_INCLUDES}"
  OBJECT_DEPENDS "${KV_STUB_MANIFEST_DIR}/kvsfx.manifest;${KV_STUB_RESOURCE_DIR}/resource_ids.h;${KV_STUB_ICON}")
