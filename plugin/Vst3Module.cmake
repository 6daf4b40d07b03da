# The plug-in module LUMENFALL.vst3: the Lumenfall class built on the VST3 adapter
# together with its VST3-only parts (component state, process call, tail, the
# instance-creation callback and GetPluginFactory), as a MODULE library laid out as
# a bundle at the top of the build tree. Included by plugin/CMakeLists.txt.
# The module's toolkit is plugkit_canvas_vst3 only (its PUBLIC PLUGKIT_VST3 reaches every source that sees canvas headers), never plugkit_canvas: one IControl layout per binary.
lumenfall_plugin_class(lumenfall_plugin_vst3 BASE VST3
    LINKS lumenfall_plugkit_vst3 plugkit_canvas_vst3)
add_library(lumenfall_vst3_module MODULE ${PROJECT_SOURCE_DIR}/plugin/LumenfallVst3.cpp)
lumenfall_editor_resources(lumenfall_vst3_module)
target_link_libraries(lumenfall_vst3_module PRIVATE lumenfall_plugin_vst3)
if(WIN32)
    # The editor window of the plug-in module.
    target_link_libraries(lumenfall_vst3_module PRIVATE plugkit_canvas_win_vst3)
    target_compile_definitions(lumenfall_vst3_module PRIVATE LUMENFALL_EDITOR_WINDOW)
endif()
lumenfall_warnings(lumenfall_vst3_module)
lumenfall_vst3_bundle(lumenfall_vst3_module LUMENFALL ${CMAKE_BINARY_DIR})
set(LUMENFALL_VST3_BUNDLE ${CMAKE_BINARY_DIR}/LUMENFALL.vst3 CACHE INTERNAL "")
