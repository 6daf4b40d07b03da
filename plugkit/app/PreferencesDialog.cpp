#include "plugkit/app/PreferencesDialog.h"

#include "canvas/platform/helpers/PlatformResources.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/StandaloneResourceId.h"
#include "plugkit/app/Utf8ComboProcs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plugkit::app
{

namespace
{

constexpr const char* kDriverNames[] = {"DirectSound"};
constexpr const char* kAllMidiChannels = "all";
constexpr int kMidiChannels = 16;
constexpr int kDeviceCombos[] = {
    IDC_AUDIO_IN_DEVICE, IDC_AUDIO_OUT_DEVICE, IDC_MIDI_IN_DEVICE, IDC_MIDI_OUT_DEVICE};

/// What one run of the dialog remembers beside the host's settings.
struct PreferencesSession
{
    /// Apply (or OK) reopened the stream, so it may no longer be the one the dialog found.
    bool streamReopened = false;
};

PreferencesSession* Session(HWND window)
{
    return reinterpret_cast<PreferencesSession*>(GetWindowLongPtrA(window, DWLP_USER));
}

LRESULT Combo(HWND window, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendDlgItemMessageA(window, id, message, wParam, lParam);
}

void ComboAdd(HWND window, int id, const char* text)
{
    Combo(window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void ComboAddNumber(HWND window, int id, int number)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%i", number);
    ComboAdd(window, id, text);
}

int ComboSelection(HWND window, int id)
{
    return static_cast<int>(Combo(window, id, CB_GETCURSEL));
}

void ComboSelect(HWND window, int id, int index)
{
    Combo(window, id, CB_SETCURSEL, static_cast<WPARAM>(index));
}

/// Item `index`'s text (UTF-8 through the combo procedures); empty when there is none.
HeapString ComboItemText(HWND window, int id, int index)
{
    HeapString text;
    const LRESULT length = index < 0 ? CB_ERR : Combo(window, id, CB_GETLBTEXTLEN, index);
    if (length <= 0)
        return text;
    HeapBuffer bytes;
    auto* data = static_cast<char*>(bytes.Resize(static_cast<int32_t>(length + 1)));
    if (!data)
        return text;
    data[0] = 0;
    if (Combo(window, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(data)) >= 0)
    {
        data[length] = 0;
        text.Set(data);
    }
    return text;
}

/// Selects the item whose text is `text`, byte for byte; none when no item is.
void ComboSelectText(HWND window, int id, const char* text)
{
    const int count = static_cast<int>(Combo(window, id, CB_GETCOUNT));
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i)
        if (std::strcmp(ComboItemText(window, id, i).Get(), text) == 0)
            found = i;
    ComboSelect(window, id, found);
}

void ComboSelectNumber(HWND window, int id, uint32_t number)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%i", static_cast<int>(number));
    ComboSelectText(window, id, text);
}

/// 1 to N - 1 on the left (the last channel cannot start a pair), 1 to N on the right.
void FillChannelPair(
    HWND window, int leftId, int rightId, uint32_t channels, uint32_t left, uint32_t right)
{
    Combo(window, leftId, CB_RESETCONTENT);
    Combo(window, rightId, CB_RESETCONTENT);
    for (uint32_t c = 1; c <= channels; ++c)
    {
        if (c < channels)
            ComboAddNumber(window, leftId, static_cast<int>(c));
        ComboAddNumber(window, rightId, static_cast<int>(c));
    }
    ComboSelect(window, leftId, static_cast<int>(left) - 1);
    ComboSelect(window, rightId, static_cast<int>(right) - 1);
}

/// Lists the devices of one direction and selects the last one named `name` (the first when
/// none is); returns the selected device, null for an empty list.
const AudioDeviceInfo*
FillDeviceList(HWND window, int id, ChannelDirection direction, const char* name)
{
    const StandaloneHost& host = *gStandaloneHost;
    const AudioDeviceDirectory& directory = host.GetAudioDirectory();
    Combo(window, id, CB_RESETCONTENT);
    const auto& ids = directory.Ids(direction);
    size_t selected = 0;
    HeapString shown;
    for (size_t i = 0; i < ids.size(); ++i)
    {
        host.GetAudioDeviceName(ids[i], shown);
        ComboAdd(window, id, shown.Get());
        if (std::strcmp(shown.Get(), name) == 0)
            selected = i;
    }
    if (ids.empty())
        return nullptr;
    ComboSelect(window, id, static_cast<int>(selected));
    return directory.GetInfo(ids[selected]);
}

/// Fills one MIDI port list and selects the saved port; a port that is gone becomes "off" and
/// the file is rewritten.
void FillMidiPortList(HWND window, int id, ChannelDirection direction, HeapString& name)
{
    StandaloneHost& host = *gStandaloneHost;
    const MidiPortList& ports = host.GetMidiPortNames(direction);
    Combo(window, id, CB_RESETCONTENT);
    int selected = -1;
    for (int p = 0; p < ports.Size(); ++p)
    {
        ComboAdd(window, id, ports.GetName(p));
        if (selected < 0 && std::strcmp(ports.GetName(p), name.Get()) == 0)
            selected = p;
    }
    if (selected < 0)
    {
        name.Set(MidiPortList::kOff);
        host.WriteSettingsFile();
        selected = 0;
    }
    ComboSelect(window, id, selected);
}

void FillMidiChannelList(HWND window, int id, uint32_t channel)
{
    Combo(window, id, CB_RESETCONTENT);
    ComboAdd(window, id, kAllMidiChannels);
    for (int c = 1; c <= kMidiChannels; ++c)
        ComboAddNumber(window, id, c);
    ComboSelect(window, id, static_cast<int>(channel));
}

void OnInitDialog(HWND window, PreferencesSession* session)
{
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    for (int id : kDeviceCombos)
        InstallUtf8ComboProcs(GetDlgItem(window, id));
    StandaloneHost& host = *gStandaloneHost;
    Combo(window, IDC_DRIVER, CB_RESETCONTENT);
    for (const char* driver : kDriverNames)
        ComboAdd(window, IDC_DRIVER, driver);
    ComboSelect(window, IDC_DRIVER, static_cast<int>(host.GetSettings().driverType));
    PopulateAudioControls(window);
    PopulateMidiControls(window);
    host.GetSavedSettings() = host.GetSettings();
}

bool ApplyAudio(HWND window)
{
    if (PreferencesSession* session = Session(window))
        session->streamReopened = true;
    return gStandaloneHost->ApplyAudioSettings();
}

void OnOk(HWND window)
{
    StandaloneHost& host = *gStandaloneHost;
    // Only a change of the audio part reopens the stream: MIDI ports switched already.
    if (!StandaloneHost::AudioSettingsMatch(host.GetActiveSettings(), host.GetSettings()))
        ApplyAudio(window);
    EndDialog(window, IDOK);
}

void OnCancel(HWND window)
{
    StandaloneHost& host = *gStandaloneHost;
    const bool streamReopened = Session(window) && Session(window)->streamReopened;
    EndDialog(window, IDCANCEL);

    StandaloneSettings& edited = host.GetSettings();
    const StandaloneSettings& saved = host.GetSavedSettings();
    const bool audioChanged = !StandaloneHost::AudioSettingsMatch(edited, saved);
    const bool midiChanged = !StandaloneHost::MidiSettingsMatch(edited, saved);
    if (!audioChanged && !midiChanged && !streamReopened)
        return;
    edited = saved;
    if (midiChanged)
    {
        // The ports switched when they were chosen; the saved names alone would not undo that.
        const HeapString midiIn = saved.midiInputDevice;
        const HeapString midiOut = saved.midiOutputDevice;
        host.SelectMidiPort(kInput, midiIn.Get());
        host.SelectMidiPort(kOutput, midiOut.Get());
    }
    // The stream moved only if Apply ran; it is reopened unless it runs on the saved devices.
    IAudioDevices* audio = host.GetAudioDevices();
    const bool streamOnSaved = audio && audio->IsStreamRunning() &&
                               StandaloneHost::AudioSettingsMatch(host.GetActiveSettings(), saved);
    if (streamReopened && !streamOnSaved)
    {
        host.SelectAudioDriver();
        host.ScanAudioDevices();
        host.ApplyAudioSettings();
    }
    // Apply and the port choices may have rewritten the file with the abandoned settings.
    host.WriteSettingsFile();
}

/// The right channel follows the left one; choosing it directly is undone.
void OnRightChannel(HWND window, int id, WORD code, uint32_t& right)
{
    if (code == CBN_SELCHANGE)
        ComboSelect(window, id, static_cast<int>(right) - 1);
    const int selection = ComboSelection(window, id);
    if (selection >= 0)
        right = static_cast<uint32_t>(selection + 1);
}

void OnLeftChannel(HWND window, int rightId, int selection, uint32_t& left, uint32_t& right)
{
    if (selection < 0)
        return;
    left = static_cast<uint32_t>(selection + 1);
    right = static_cast<uint32_t>(selection + 2);
    ComboSelect(window, rightId, selection + 1);
}

/// Another device starts again at its first two channels.
void OnAudioDevice(HWND window, int id, HeapString& name, uint32_t& left, uint32_t& right)
{
    name = GetComboItemText(window, id);
    left = 1;
    right = 2;
    PopulateAudioDeviceControls(window);
}

/// The port switches at once.
void OnMidiPort(HWND window, int id, ChannelDirection direction, HeapString& name)
{
    name = GetComboItemText(window, id);
    const HeapString chosen = name; // the host may rename it "off"
    gStandaloneHost->SelectMidiPort(direction, chosen.Get());
}

void OnCommand(HWND window, int id, WORD code)
{
    StandaloneHost& host = *gStandaloneHost;
    StandaloneSettings& settings = host.GetSettings();
    switch (id)
    {
    case IDOK:
        OnOk(window);
        return;
    case IDCANCEL:
        OnCancel(window);
        return;
    case IDC_APPLY:
        ApplyAudio(window);
        return;
    case IDC_AUDIO_IN_RIGHT:
        OnRightChannel(window, id, code, settings.audioInputRight);
        return;
    case IDC_AUDIO_OUT_RIGHT:
        OnRightChannel(window, id, code, settings.audioOutputRight);
        return;
    default:
        break;
    }
    if (code != CBN_SELCHANGE)
        return;
    const int selection = ComboSelection(window, id);
    switch (id)
    {
    case IDC_AUDIO_IN_DEVICE:
        OnAudioDevice(window,
                      id,
                      settings.audioInputDevice,
                      settings.audioInputLeft,
                      settings.audioInputRight);
        break;
    case IDC_AUDIO_OUT_DEVICE:
        OnAudioDevice(window,
                      id,
                      settings.audioOutputDevice,
                      settings.audioOutputLeft,
                      settings.audioOutputRight);
        break;
    case IDC_BUFFER_SIZE:
        if (selection >= 0)
            settings.bufferSize =
                static_cast<uint32_t>(std::atoi(GetComboItemText(window, id).Get()));
        break;
    case IDC_SAMPLE_RATE:
        if (selection >= 0)
            settings.sampleRate =
                static_cast<uint32_t>(Combo(window, id, CB_GETITEMDATA, selection));
        break;
    case IDC_AUDIO_IN_LEFT:
        OnLeftChannel(window,
                      IDC_AUDIO_IN_RIGHT,
                      selection,
                      settings.audioInputLeft,
                      settings.audioInputRight);
        break;
    case IDC_AUDIO_OUT_LEFT:
        OnLeftChannel(window,
                      IDC_AUDIO_OUT_RIGHT,
                      selection,
                      settings.audioOutputLeft,
                      settings.audioOutputRight);
        break;
    case IDC_MIDI_IN_DEVICE:
        OnMidiPort(window, id, kInput, settings.midiInputDevice);
        break;
    case IDC_MIDI_OUT_DEVICE:
        OnMidiPort(window, id, kOutput, settings.midiOutputDevice);
        break;
    case IDC_MIDI_IN_CHANNEL:
        if (selection >= 0)
            settings.midiInputChannel = static_cast<uint32_t>(selection);
        break;
    case IDC_MIDI_OUT_CHANNEL:
        if (selection >= 0)
            settings.midiOutputChannel = static_cast<uint32_t>(selection);
        break;
    default:
        break; // the driver list holds one entry; the Config... button is disabled
    }
}

} // namespace

INT_PTR RunPreferencesDialog(HWND owner)
{
    if (!gStandaloneHost)
        return IDCANCEL;
    PreferencesSession session;
    auto* instance = static_cast<HINSTANCE>(canvas::platform::GetModuleInstance());
    const INT_PTR result = DialogBoxParamA(instance ? instance : GetModuleHandleA(nullptr),
                                           MAKEINTRESOURCEA(IDD_PREFERENCES),
                                           owner,
                                           &PreferencesDialogProc,
                                           reinterpret_cast<LPARAM>(&session));
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK PreferencesDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!gStandaloneHost)
    {
        if (message == WM_INITDIALOG)
            EndDialog(window, IDCANCEL);
        return FALSE;
    }
    switch (message)
    {
    case WM_INITDIALOG:
        OnInitDialog(window, reinterpret_cast<PreferencesSession*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void PopulateAudioControls(HWND window)
{
    PopulateAudioDeviceControls(window);
    Combo(window, IDC_BUFFER_SIZE, CB_RESETCONTENT);
    for (const char* size : kBufferSizeChoices)
        ComboAdd(window, IDC_BUFFER_SIZE, size);
    ComboSelectNumber(window, IDC_BUFFER_SIZE, gStandaloneHost->GetSettings().bufferSize);
}

void PopulateAudioDeviceControls(HWND window)
{
    EnableWindow(GetDlgItem(window, IDC_DRIVER_CONFIG), FALSE);
    EnableWindow(GetDlgItem(window, IDC_AUDIO_IN_DEVICE), TRUE);
    const StandaloneSettings& settings = gStandaloneHost->GetSettings();
    const AudioDeviceInfo* input =
        FillDeviceList(window, IDC_AUDIO_IN_DEVICE, kInput, settings.audioInputDevice.Get());
    const AudioDeviceInfo* output =
        FillDeviceList(window, IDC_AUDIO_OUT_DEVICE, kOutput, settings.audioOutputDevice.Get());
    const AudioDeviceInfo none;
    FillInputChannelLists(window, input ? *input : none);
    FillOutputChannelLists(window, output ? *output : none);
    FillSampleRateList(window, input, output);
}

void FillInputChannelLists(HWND window, const AudioDeviceInfo& input)
{
    const StandaloneSettings& settings = gStandaloneHost->GetSettings();
    FillChannelPair(window,
                    IDC_AUDIO_IN_LEFT,
                    IDC_AUDIO_IN_RIGHT,
                    input.mInputChannels,
                    settings.audioInputLeft,
                    settings.audioInputRight);
}

void FillOutputChannelLists(HWND window, const AudioDeviceInfo& output)
{
    const StandaloneSettings& settings = gStandaloneHost->GetSettings();
    FillChannelPair(window,
                    IDC_AUDIO_OUT_LEFT,
                    IDC_AUDIO_OUT_RIGHT,
                    output.mOutputChannels,
                    settings.audioOutputLeft,
                    settings.audioOutputRight);
}

void FillSampleRateList(HWND window, const AudioDeviceInfo* input, const AudioDeviceInfo* output)
{
    Combo(window, IDC_SAMPLE_RATE, CB_RESETCONTENT);
    const AudioDeviceInfo* first = input ? input : output;
    const AudioDeviceInfo* second = input ? output : nullptr;
    for (int i = 0; first && i < first->mNumSampleRates; ++i)
    {
        const uint32_t rate = first->mSampleRates[i];
        bool shared = !second;
        for (int k = 0; second && k < second->mNumSampleRates && !shared; ++k)
            shared = second->mSampleRates[k] == rate;
        if (!shared)
            continue;
        ComboAddNumber(window, IDC_SAMPLE_RATE, static_cast<int>(rate));
        const int item = static_cast<int>(Combo(window, IDC_SAMPLE_RATE, CB_GETCOUNT)) - 1;
        Combo(window, IDC_SAMPLE_RATE, CB_SETITEMDATA, item, rate);
    }
    ComboSelectNumber(window, IDC_SAMPLE_RATE, gStandaloneHost->GetSettings().sampleRate);
}

bool PopulateMidiControls(HWND window)
{
    StandaloneHost& host = *gStandaloneHost;
    if (!host.GetMidiInput() || !host.GetMidiOutput())
        return false;
    StandaloneSettings& settings = host.GetSettings();
    FillMidiPortList(window, IDC_MIDI_IN_DEVICE, kInput, settings.midiInputDevice);
    FillMidiPortList(window, IDC_MIDI_OUT_DEVICE, kOutput, settings.midiOutputDevice);
    FillMidiChannelList(window, IDC_MIDI_IN_CHANNEL, settings.midiInputChannel);
    FillMidiChannelList(window, IDC_MIDI_OUT_CHANNEL, settings.midiOutputChannel);
    return true;
}

HeapString GetComboItemText(HWND window, int controlId)
{
    return ComboItemText(window, controlId, ComboSelection(window, controlId));
}

} // namespace plugkit::app
