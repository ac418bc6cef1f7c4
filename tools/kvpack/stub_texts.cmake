# The rewriting of the stub's resources with a package's texts, as a library for kvpack, the
# kvtexts tool and the tests. Included by tools/CMakeLists.txt before kvpack's own folder.
add_library(stubtexts STATIC
  ${CMAKE_CURRENT_LIST_DIR}/stub_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_manifest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_resources.cpp)
target_include_directories(stubtexts PUBLIC ${CMAKE_CURRENT_LIST_DIR})
