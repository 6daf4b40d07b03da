#pragma once

// Dragging one file out of the editor into another program with OLE drag and drop: three small
// COM objects offer the file as a CF_HDROP list and end the drag on a release or on Escape.
// Windows only; UI thread only.

#include "canvas/platform/desktop/DesktopServices.h"

#include <string>

#include <ole2.h>

namespace plugkit::canvas::platform
{

/// Drags the file `path` (UTF-8) out of the editor, offering it for copying, and returns when
/// it is dropped or the drag is cancelled (the caller then releases the mouse capture). True
/// when the drag ran, dropped or cancelled; false for an empty or invalid path, when OLE cannot
/// be initialised on this thread or when the drag fails.
bool StartFileDrag(const char* path, const OleCalls& ole = {});

namespace DragAndDropHelpers
{

/// The one format offered: a CF_HDROP file list in global memory, content aspect.
FORMATETC FileListFormat();

/// The IUnknown part of the three objects: answers IID_IUnknown and `kInterfaceId`; the object
/// owns itself through its reference count, which starts at 1, and deletes itself on the last
/// `Release`.
template <typename Interface, const IID& kInterfaceId>
class ComObject : public Interface
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId))
        {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&mRefCount));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&mRefCount);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    LONG mRefCount = 1;
};

/// Offers one file as a UTF-16 CF_HDROP list. A drop target may keep it after the drag.
class DataObject final : public ComObject<IDataObject, IID_IDataObject>
{
public:
    /// Copies `path`.
    explicit DataObject(const wchar_t* path);

    /// A new file list that the caller owns, for the file-list format only (DV_E_FORMATETC for
    /// any other); E_OUTOFMEMORY, with an empty medium, when the memory cannot be had.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format,
                                      DWORD flags,
                                      IAdviseSink* sink,
                                      DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override;

private:
    std::wstring mPath;
    FORMATETC mFormat;
};

/// Ends the drag: a drop when the left button is up, a cancel on Escape.
class DropSource final : public ComObject<IDropSource, IID_IDropSource>
{
public:
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;
};

/// Lists the one format of a data object, from `position` (0 or 1).
class EnumFORMATETC final : public ComObject<IEnumFORMATETC, IID_IEnumFORMATETC>
{
public:
    EnumFORMATETC(const FORMATETC& format, ULONG position);

    /// Delivers the format once; S_FALSE whenever fewer formats are delivered than asked.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* out, ULONG* fetched) override;
    /// S_FALSE, the position unchanged, when fewer than `count` formats remain.
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override;

private:
    FORMATETC mFormat;
    ULONG mPosition;
};

} // namespace DragAndDropHelpers

} // namespace plugkit::canvas::platform
