#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"

#include "canvas/platform/desktop/DragAndDrop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <shellapi.h>
#include <shlobj.h>

using namespace plugkit::canvas::platform;
using namespace plugkit::canvas::platform::DragAndDropHelpers;
using namespace desktoptest;

namespace
{

const wchar_t kWidePath[] = L"C:\\users\\Kl\u00e4nge\\Hall \u2603.wav";
const char kPath[] = "C:\\users\\Kl\xc3\xa4nge\\Hall \xe2\x98\x83.wav";

/// The first file of a CF_HDROP list.
std::wstring FirstFile(HGLOBAL list)
{
    wchar_t file[MAX_PATH] = {};
    DragQueryFileW(static_cast<HDROP>(list), 0, file, MAX_PATH);
    return file;
}

/// A drop target that records what reaches it.
class RecordingDropTarget final : public IDropTarget
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget))
        {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        ++entered;
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        ++left;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        ++dropped;
        FORMATETC format = FileListFormat();
        STGMEDIUM medium = {};
        if (data->GetData(&format, &medium) == S_OK)
        {
            droppedPath = FirstFile(medium.hGlobal);
            ReleaseStgMedium(&medium);
        }
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }

    int entered = 0;
    int left = 0;
    int dropped = 0;
    std::wstring droppedPath;
};

void SendMouse(DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(INPUT));
}

void SendMouseMoveTo(int x, int y)
{
    SetCursorPos(x - 1, y);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = 1;
    input.mi.dy = 0;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof(INPUT));
}

POINT CenterOf(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST(DragAndDropObjects, DataObjectAnswersATableOfFormats)
{
    auto* data = new DataObject(kWidePath);
    const FORMATETC list = FileListFormat();
    const struct
    {
        const char* name;
        FORMATETC format;
        HRESULT result;
    } cases[] = {
        {"file list", list, S_OK},
        {"file list, several media",
         {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM},
         S_OK},
        {"text", {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
        {"thumbnail aspect",
         {CF_HDROP, nullptr, DVASPECT_THUMBNAIL, -1, TYMED_HGLOBAL},
         DV_E_FORMATETC},
        {"stream medium", {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_FORMATETC},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        FORMATETC format = c.format;
        EXPECT_EQ(data->QueryGetData(&format), c.result);
        STGMEDIUM medium = {};
        ASSERT_EQ(data->GetData(&format, &medium), c.result);
        if (c.result != S_OK)
            continue;
        EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
        EXPECT_EQ(medium.pUnkForRelease, nullptr);
        const auto* header = static_cast<const DROPFILES*>(GlobalLock(medium.hGlobal));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->pFiles, 20u);
        EXPECT_TRUE(header->fWide);
        EXPECT_FALSE(header->fNC);
        GlobalUnlock(medium.hGlobal);
        EXPECT_EQ(FirstFile(medium.hGlobal), kWidePath);
        EXPECT_EQ(DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0), 1u);
        ReleaseStgMedium(&medium);
    }
    EXPECT_EQ(data->QueryGetData(nullptr), E_INVALIDARG);
    STGMEDIUM medium = {};
    EXPECT_EQ(data->GetData(nullptr, &medium), E_INVALIDARG);

    FORMATETC in = list;
    FORMATETC out = list;
    out.ptd = reinterpret_cast<DVTARGETDEVICE*>(&out);
    EXPECT_EQ(data->GetCanonicalFormatEtc(&in, &out), E_NOTIMPL);
    EXPECT_EQ(out.ptd, nullptr);
    EXPECT_EQ(data->SetData(&in, &medium, FALSE), E_NOTIMPL);
    EXPECT_EQ(data->GetDataHere(&in, &medium), E_NOTIMPL);
    EXPECT_EQ(data->DAdvise(&in, 0, nullptr, nullptr), E_NOTIMPL);

    IEnumFORMATETC* enumerator = reinterpret_cast<IEnumFORMATETC*>(1);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &enumerator), E_NOTIMPL);
    EXPECT_EQ(enumerator, nullptr);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, nullptr), E_POINTER);
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &enumerator), S_OK);
    FORMATETC listed = {};
    EXPECT_EQ(enumerator->Next(1, &listed, nullptr), S_OK);
    EXPECT_EQ(listed.cfFormat, CF_HDROP);
    EXPECT_EQ(listed.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(data->Release(), 0u);
}

TEST(DragAndDropObjects, EnumeratorDeliversTheFormatOnceAndSaysWhenItDeliversLess)
{
    auto* enumerator = new EnumFORMATETC(FileListFormat(), 0);
    FORMATETC out[2] = {};
    ULONG fetched = 99;

    EXPECT_EQ(enumerator->Next(1, out, nullptr), S_OK);
    EXPECT_EQ(out[0].cfFormat, CF_HDROP);
    EXPECT_EQ(enumerator->Next(1, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Next(2, out, &fetched), S_FALSE) << "one of two delivered";
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Next(2, out, nullptr), S_FALSE) << "more than one needs a count";
    EXPECT_EQ(enumerator->Next(1, nullptr, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(2), S_FALSE);
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);
    EXPECT_EQ(enumerator->Next(1, out, &fetched), S_FALSE);

    IEnumFORMATETC* clone = nullptr;
    EXPECT_EQ(enumerator->Clone(nullptr), E_POINTER);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    ASSERT_EQ(enumerator->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, out, &fetched), S_OK) << "the clone starts where the original is";
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(enumerator->Next(1, out, &fetched), S_OK) << "and moves on its own";
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(enumerator->Release(), 0u);
}

TEST(DragAndDropObjects, EveryObjectAnswersIUnknownAndItsOwnInterfaceOnly)
{
    IUnknown* objects[] = {
        new DataObject(kWidePath), new DropSource(), new EnumFORMATETC(FileListFormat(), 0)};
    const IID* own[] = {&IID_IDataObject, &IID_IDropSource, &IID_IEnumFORMATETC};
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        IUnknown* object = objects[i];
        for (const IID* iid : {&IID_IUnknown, own[i]})
        {
            void* answer = nullptr;
            ASSERT_EQ(object->QueryInterface(*iid, &answer), S_OK);
            EXPECT_EQ(answer, object);
            EXPECT_EQ(object->Release(), 1u) << "the answer held one reference";
        }
        for (const IID* iid : {&IID_IDropTarget, &IID_IStream, own[(i + 1) % 3]})
        {
            void* answer = object;
            EXPECT_EQ(object->QueryInterface(*iid, &answer), E_NOINTERFACE);
            EXPECT_EQ(answer, nullptr);
        }
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object->Release(), 0u);
    }
}

TEST(DragAndDropObjects, DropSourceDropsOnReleaseAndCancelsOnEscape)
{
    auto* source = new DropSource();
    const struct
    {
        BOOL escape;
        DWORD keys;
        HRESULT result;
    } cases[] = {
        {FALSE, MK_LBUTTON, S_OK},
        {FALSE, MK_LBUTTON | MK_SHIFT, S_OK},
        {FALSE, 0, DRAGDROP_S_DROP},
        {FALSE, MK_RBUTTON, DRAGDROP_S_DROP},
        {TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL},
        {TRUE, 0, DRAGDROP_S_CANCEL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(source->QueryContinueDrag(c.escape, c.keys), c.result) << c.escape << c.keys;
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    source->Release();
}

/// OLE for this thread, a source window and a drop-target window side by side.
class FileDrag : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        mTarget = CreateWindowExW(WS_EX_TOPMOST,
                                  L"DesktopTestHost",
                                  L"Drop target",
                                  WS_POPUP | WS_VISIBLE,
                                  800,
                                  100,
                                  300,
                                  300,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleW(nullptr),
                                  nullptr);
        ASSERT_NE(mTarget, nullptr);
        ASSERT_EQ(RegisterDragDrop(mTarget, &mDropTarget), S_OK);
        PumpMessages(100, [] { return false; });
    }
    void TearDown() override
    {
        RevokeDragDrop(mTarget);
        DestroyWindow(mTarget);
        SendMouse(MOUSEEVENTF_LEFTUP);
        PumpMessages(100, [] { return false; });
        OleUninitialize();
    }

    /// Presses the left button over the editor and waits until this thread sees it down.
    void PressOverEditor()
    {
        const POINT at = CenterOf(mWindows.editor);
        SendMouseMoveTo(at.x, at.y);
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        PumpMessages(2000, [] { return (GetKeyState(VK_LBUTTON) & 0x8000) != 0; });
        ASSERT_TRUE(GetKeyState(VK_LBUTTON) & 0x8000) << "the press did not arrive";
    }

    TestWindows& mWindows = SharedWindows();
    HWND mTarget = nullptr;
    RecordingDropTarget mDropTarget;
};

TEST_F(FileDrag, DropOnAWindowOfThisProcessCarriesTheNonAsciiPath)
{
    ASSERT_NO_FATAL_FAILURE(PressOverEditor());
    const POINT target = CenterOf(mTarget);
    std::thread user(
        [target]
        {
            Sleep(300);
            SendMouseMoveTo(target.x - 20, target.y);
            Sleep(200);
            SendMouseMoveTo(target.x, target.y);
            Sleep(300);
            SendMouse(MOUSEEVENTF_LEFTUP);
        });
    const bool dragged = StartFileDrag(kPath);
    user.join();

    EXPECT_TRUE(dragged);
    EXPECT_GE(mDropTarget.entered, 1);
    EXPECT_EQ(mDropTarget.dropped, 1);
    EXPECT_EQ(mDropTarget.droppedPath, kWidePath);
}

TEST_F(FileDrag, EscapeCancelsTheDragWithoutADrop)
{
    ASSERT_NO_FATAL_FAILURE(PressOverEditor());
    const POINT target = CenterOf(mTarget);
    const DWORD uiThread = GetCurrentThreadId();
    std::thread user(
        [target, uiThread]
        {
            Sleep(300);
            SendMouseMoveTo(target.x, target.y);
            Sleep(300);
            PostThreadMessageW(uiThread, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        });
    const bool dragged = StartFileDrag(kPath);
    user.join();

    EXPECT_TRUE(dragged) << "a cancelled drag still ran";
    EXPECT_EQ(mDropTarget.dropped, 0);
    EXPECT_EQ(mDropTarget.left, mDropTarget.entered);
}

TEST(FileDragRefusals, NoPathNoOleNoDrag)
{
    EXPECT_FALSE(StartFileDrag(nullptr));
    EXPECT_FALSE(StartFileDrag(""));

    // A thread of the multithreaded apartment cannot take OLE: no drag, and the thread's COM
    // reference is not taken away by an unbalanced uninitialise.
    static std::atomic<int> uninits;
    uninits = 0;
    OleCalls counting;
    counting.uninitialize = []
    {
        ++uninits;
        OleUninitialize();
    };
    bool dragged = true;
    HRESULT stillInitialized = E_FAIL;
    std::thread mta(
        [&]
        {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            dragged = StartFileDrag(kPath, counting);
            stillInitialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
            CoUninitialize();
        });
    mta.join();
    EXPECT_FALSE(dragged);
    EXPECT_EQ(uninits, 0);
    EXPECT_EQ(stillInitialized, S_FALSE) << "the thread's own COM reference is intact";

    // The same with the failure injected, on this thread.
    OleCalls refusing;
    refusing.initialize = [](LPVOID) -> HRESULT { return RPC_E_CHANGED_MODE; };
    refusing.uninitialize = counting.uninitialize;
    EXPECT_FALSE(StartFileDrag(kPath, refusing));
    EXPECT_EQ(uninits, 0);
}

} // namespace
