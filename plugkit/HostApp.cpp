#include "plugkit/HostApp.h"

#include <cctype>
#include <cstring>

namespace plugkit
{

namespace
{

struct HostKey
{
    const char* mKey;
    HostApp mHost;
};

// The order matters: earlier keys win.
constexpr HostKey kHostKeys[] = {
    {"reaper", kHostReaper},
    {"protools", kHostProTools},
    {"cubase", kHostCubase},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"vegas", kHostVegas},
    {"fruity", kHostFL},
    {"samplitude", kHostSamplitude},
    {"live", kHostAbletonLive},
    {"tracktion", kHostTracktion},
    {"ntracks", kHostNTracks},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"bias", kHostBias},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"garageband", kHostGarageBand},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"ardour", kHostArdour},
    {"renoise", kHostRenoise},
    {"openmpt", kHostOpenMPT},
    {"wavelab elements", kHostWaveLabElements},
    {"wavelab", kHostWaveLab},
    {"twistedwave", kHostTwistedWave},
    {"bitwig studio", kHostBitwig},
    {"reason", kHostReason},
    {"gwvst", kHostGWVST},
    {"waveform", kHostWaveform},
    {"audacity", kHostAudacity},
    {"acoustica", kHostAcoustica},
    {"plugindoctor", kHostPluginDoctor},
    {"izotope rx", kHostIZotopeRX},
    {"savihost", kHostSAVIHost},
    {"blue cat's vst host", kHostBlueCat},
    {"mixbus", kHostMixbus},
    {"standalone", kHostStandalone},
    {"www", kHostWWW},
};

} // namespace

HostApp LookUpHost(const char* name)
{
    constexpr int kMaxName = 255;
    char lower[kMaxName + 1] = {};
    if (name)
    {
        for (int i = 0; i < kMaxName && name[i]; ++i)
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    }
    for (const HostKey& k : kHostKeys)
        if (std::strstr(lower, k.mKey))
            return k.mHost;
    return kHostUnknown;
}

} // namespace plugkit
