# The plug-in module LUMENFALL.vst3: the Lumenfall class built on the VST3 adapter
# together with its VST3-only parts (component state, process call, tail, the
# instance-creation callback and GetPluginFactory), as a MODULE library laid out as
# a bundle at the top of the build tree. Included by plugin/CMakeLists.txt; the
# class's own sources are LUMENFALL_CLASS_SOURCES (compiled again for this base).
if(NOT LUMENFALL_CLASS_SOURCES)
    set(LUMENFALL_CLASS_SOURCES Lumenfall.cpp)
endif()
list(TRANSFORM LUMENFALL_CLASS_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/plugin/)
add_library(lumenfall_vst3_module MODULE ${LUMENFALL_CLASS_SOURCES}
                                         ${PROJECT_SOURCE_DIR}/plugin/LumenfallVst3.cpp)
target_compile_definitions(lumenfall_vst3_module PRIVATE LUMENFALL_BASE_VST3=1)
target_include_directories(lumenfall_vst3_module PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(lumenfall_vst3_module PRIVATE lumenfall_plugin lumenfall_plugkit_vst3 plugkit_canvas)
lumenfall_warnings(lumenfall_vst3_module)
lumenfall_vst3_bundle(lumenfall_vst3_module LUMENFALL ${CMAKE_BINARY_DIR})
set(LUMENFALL_VST3_BUNDLE ${CMAKE_BINARY_DIR}/LUMENFALL.vst3 CACHE INTERNAL "")
