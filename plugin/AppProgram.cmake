# The stand-alone program LUMENFALL.exe (Windows only): the Lumenfall class over the stand-alone
# adapter, the program entry and the embedded resources, at the top of the build tree. Included
# by plugin/CMakeLists.txt.
if(WIN32)
    add_executable(lumenfall_program WIN32 ${CMAKE_CURRENT_LIST_DIR}/LumenfallMain.cpp)
    target_link_libraries(lumenfall_program PRIVATE lumenfall_plugin_app lumenfall_resources)
    # wWinMain: the command line arrives in UTF-16, so non-ASCII paths survive.
    target_link_options(lumenfall_program PRIVATE -municode)
    lumenfall_warnings(lumenfall_program)
    set_target_properties(lumenfall_program PROPERTIES
        OUTPUT_NAME LUMENFALL
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    set(LUMENFALL_PROGRAM ${CMAKE_BINARY_DIR}/LUMENFALL.exe CACHE INTERNAL "")
endif()
