# Third-party code, compiled from the paths where Debian installs it. Nothing of
# it is copied into this tree; our warning flags are not applied to it.

set(LUMENFALL_VST3_SDK_DIR
    /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "VST3 SDK 3.7.2 folder")
set(LUMENFALL_DPF_DIR /usr/share/dpf CACHE PATH "dpf-source folder (NanoVG, RtAudio, RtMidi)")
set(LUMENFALL_STB_DIR /usr/include/stb CACHE PATH "stb headers")
set(LUMENFALL_ROBOTO_TTF
    /usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf
    CACHE FILEPATH "Roboto-Regular.ttf")

# GoogleTest from its Debian source package, built for whichever target this
# tree compiles for.
if(LUMENFALL_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# --- VST3 SDK -----------------------------------------------------------------
# The parts of the SDK folder the plug-in module and the test host use, built
# as one static library. The classes this folder lacks (single-component
# effect, plug-in factory, module entry, the view interface IDs) are ours, in
# plugkit/vst3/. IComponent and IEditController both declare setState and
# getState; the edit-controller sources are compiled with the controller pair
# renamed (plugkit/vst3/Vst3ControllerState.h), as every user of the SDK in
# this tree includes them through plugkit/vst3/Vst3Sdk.h.
set(LUMENFALL_VST3_SDK_SOURCES
    pluginterfaces/base/conststringtable.cpp
    pluginterfaces/base/coreiids.cpp
    pluginterfaces/base/funknown.cpp
    pluginterfaces/base/ustring.cpp
    base/source/baseiids.cpp
    base/source/fbuffer.cpp
    base/source/fdebug.cpp
    base/source/fobject.cpp
    base/source/fstreamer.cpp
    base/source/fstring.cpp
    base/source/updatehandler.cpp
    base/thread/source/flock.cpp
    public.sdk/source/common/pluginview.cpp
    public.sdk/source/vst/vstbus.cpp
    public.sdk/source/vst/vstcomponentbase.cpp
    public.sdk/source/vst/vsteditcontroller.cpp
    public.sdk/source/vst/vstinitiids.cpp
    public.sdk/source/vst/vstparameters.cpp)
list(TRANSFORM LUMENFALL_VST3_SDK_SOURCES PREPEND ${LUMENFALL_VST3_SDK_DIR}/)
add_library(lumenfall_vst3sdk STATIC ${LUMENFALL_VST3_SDK_SOURCES}
            ${PROJECT_SOURCE_DIR}/plugkit/vst3/PlugViewIids.cpp)
target_include_directories(lumenfall_vst3sdk SYSTEM PUBLIC ${LUMENFALL_VST3_SDK_DIR})
target_include_directories(lumenfall_vst3sdk PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(lumenfall_vst3sdk PUBLIC RELEASE=1)
target_compile_options(lumenfall_vst3sdk PRIVATE -w)
set_source_files_properties(
    ${LUMENFALL_VST3_SDK_DIR}/public.sdk/source/vst/vsteditcontroller.cpp
    ${LUMENFALL_VST3_SDK_DIR}/public.sdk/source/vst/vstinitiids.cpp
    ${LUMENFALL_VST3_SDK_DIR}/public.sdk/source/vst/vstparameters.cpp
    TARGET_DIRECTORY lumenfall_vst3sdk
    PROPERTIES COMPILE_OPTIONS "-include;${PROJECT_SOURCE_DIR}/plugkit/vst3/Vst3ControllerState.h")
set_source_files_properties(${PROJECT_SOURCE_DIR}/plugkit/vst3/PlugViewIids.cpp
                            TARGET_DIRECTORY lumenfall_vst3sdk
                            PROPERTIES COMPILE_OPTIONS "${LUMENFALL_WARNINGS}")
if(WIN32)
    target_link_libraries(lumenfall_vst3sdk PUBLIC ole32)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(lumenfall_vst3sdk PUBLIC Threads::Threads)
endif()

# lumenfall_vst3_bundle(<module target> <name> <folder>): lays a MODULE library out
# as the bundle <folder>/<name>.vst3 (Contents/x86_64-win/<name>.vst3 on Windows,
# Contents/x86_64-linux/<name>.so on Linux). On Linux only the module entry points
# and GetPluginFactory are exported, and the module binds to its own symbols.
function(lumenfall_vst3_bundle target name folder)
    if(WIN32)
        set(arch x86_64-win)
        set(suffix .vst3)
    else()
        set(arch x86_64-linux)
        set(suffix .so)
        target_link_options(${target} PRIVATE
            -Wl,--version-script=${PROJECT_SOURCE_DIR}/plugkit/vst3/Vst3Exports.map
            -Wl,-Bsymbolic)
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME ${name}
        SUFFIX ${suffix}
        LIBRARY_OUTPUT_DIRECTORY ${folder}/${name}.vst3/Contents/${arch})
endfunction()

# --- NanoVG -------------------------------------------------------------------
# NanoVG with fontstash, from dpf-source. This copy must be compiled as C++; nanovg.c brings
# its own stb_image and stb_truetype implementations, so nothing else in a link may compile
# those two again. Its GL2 back end is compiled by our drawing back end
# (canvas/platform/nanovg), which supplies the GL entry points through its own loader.
set(LUMENFALL_NANOVG_DIR ${LUMENFALL_DPF_DIR}/dgl/src/nanovg)
add_library(lumenfall_nanovg STATIC ${LUMENFALL_NANOVG_DIR}/nanovg.c)
set_source_files_properties(${LUMENFALL_NANOVG_DIR}/nanovg.c
                            TARGET_DIRECTORY lumenfall_nanovg PROPERTIES LANGUAGE CXX)
target_include_directories(lumenfall_nanovg SYSTEM PUBLIC ${LUMENFALL_NANOVG_DIR})
target_compile_options(lumenfall_nanovg PRIVATE -w)
if(NOT WIN32)
    target_link_libraries(lumenfall_nanovg PUBLIC m)
endif()

# --- RtAudio 5.1 and RtMidi 5.0 ---------------------------------------------------
# The stand-alone program's device layers on Windows: RtAudio's DirectSound back end and RtMidi's
# Windows multimedia one. Both are compiled with UNICODE, so that device and port names arrive
# as UTF-8 rather than in the ANSI code page. RtAudio's header lays its classes out by back end,
# so its back-end definition is public.
if(WIN32)
    set(LUMENFALL_RTAUDIO_DIR ${LUMENFALL_DPF_DIR}/distrho/src/jackbridge/rtaudio)
    set(LUMENFALL_RTMIDI_DIR ${LUMENFALL_DPF_DIR}/distrho/src/jackbridge/rtmidi)

    add_library(lumenfall_rtaudio STATIC ${LUMENFALL_RTAUDIO_DIR}/RtAudio.cpp)
    target_include_directories(lumenfall_rtaudio SYSTEM PUBLIC ${LUMENFALL_RTAUDIO_DIR})
    target_compile_definitions(lumenfall_rtaudio PUBLIC __WINDOWS_DS__ PRIVATE UNICODE _UNICODE)
    target_compile_options(lumenfall_rtaudio PRIVATE -w)
    target_link_libraries(lumenfall_rtaudio PUBLIC dsound ole32 winmm)

    add_library(lumenfall_rtmidi STATIC ${LUMENFALL_RTMIDI_DIR}/RtMidi.cpp)
    target_include_directories(lumenfall_rtmidi SYSTEM PUBLIC ${LUMENFALL_RTMIDI_DIR})
    target_compile_definitions(lumenfall_rtmidi PUBLIC __WINDOWS_MM__ PRIVATE UNICODE _UNICODE)
    target_compile_options(lumenfall_rtmidi PRIVATE -w)
    target_link_libraries(lumenfall_rtmidi PUBLIC winmm)
endif()
