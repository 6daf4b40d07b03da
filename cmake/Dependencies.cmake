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
