#include "canvas/platform/desktop/DragAndDrop.h"

#include "canvas/platform/desktop/DesktopBuilders.h"
#include "canvas/platform/desktop/DesktopWinDetail.h"

#include <cstring>
#include <new>

#include <shlobj.h>

namespace plugkit::canvas::platform
{

namespace DragAndDropHelpers
{

namespace
{

bool IsFileListFormat(const FORMATETC& format)
{
    return format.cfFormat == CF_HDROP && (format.dwAspect & DVASPECT_CONTENT) != 0 &&
           (format.tymed & TYMED_HGLOBAL) != 0;
}

} // namespace

FORMATETC FileListFormat()
{
    return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

// ---- DataObject

DataObject::DataObject(const wchar_t* path)
    : mPath(path ? path : L"")
    , mFormat(FileListFormat())
{
}

HRESULT DataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!medium)
        return E_INVALIDARG;
    const HRESULT usable = QueryGetData(format);
    if (usable != S_OK)
        return usable;

    medium->tymed = TYMED_NULL;
    medium->hGlobal = nullptr;
    medium->pUnkForRelease = nullptr;
    // The path, its terminator and one more zero unit that ends the list.
    const size_t size = DropFilesBlockSize(mPath.size() + 1, 2);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return E_OUTOFMEMORY;
    void* bytes = GlobalLock(block);
    if (!bytes)
    {
        GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    WriteDropFilesBlock(
        bytes, size, reinterpret_cast<const char16_t*>(mPath.c_str()), /*nonClient*/ false);
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
}

HRESULT DataObject::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

HRESULT DataObject::QueryGetData(FORMATETC* format)
{
    if (!format)
        return E_INVALIDARG;
    return IsFileListFormat(*format) ? S_OK : DV_E_FORMATETC;
}

HRESULT DataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT DataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

HRESULT DataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    *out = new (std::nothrow) EnumFORMATETC(mFormat, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT DataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return E_NOTIMPL;
}

HRESULT DataObject::DUnadvise(DWORD)
{
    return E_NOTIMPL;
}

HRESULT DataObject::EnumDAdvise(IEnumSTATDATA**)
{
    return E_NOTIMPL;
}

// ---- DropSource

HRESULT DropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    if (escapePressed)
        return DRAGDROP_S_CANCEL;
    if (!(keyState & MK_LBUTTON))
        return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT DropSource::GiveFeedback(DWORD)
{
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

// ---- EnumFORMATETC

EnumFORMATETC::EnumFORMATETC(const FORMATETC& format, ULONG position)
    : mFormat(format)
    , mPosition(position)
{
}

HRESULT EnumFORMATETC::Next(ULONG count, FORMATETC* out, ULONG* fetched)
{
    if (fetched)
        *fetched = 0;
    // Only a request for one format may leave out the count delivered.
    if (!fetched && count != 1)
        return S_FALSE;

    ULONG delivered = 0;
    if (out && count > 0 && mPosition < 1)
    {
        out[0] = mFormat;
        if (mFormat.ptd)
        {
            out[0].ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(mFormat.ptd->tdSize));
            if (!out[0].ptd)
                return E_OUTOFMEMORY;
            std::memcpy(out[0].ptd, mFormat.ptd, mFormat.ptd->tdSize);
        }
        ++mPosition;
        delivered = 1;
    }
    if (fetched)
        *fetched = delivered;
    return delivered == count ? S_OK : S_FALSE;
}

HRESULT EnumFORMATETC::Skip(ULONG count)
{
    if (count > 1 || mPosition + count > 1)
        return S_FALSE;
    mPosition += count;
    return S_OK;
}

HRESULT EnumFORMATETC::Reset()
{
    mPosition = 0;
    return S_OK;
}

HRESULT EnumFORMATETC::Clone(IEnumFORMATETC** out)
{
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) EnumFORMATETC(mFormat, mPosition);
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace DragAndDropHelpers

bool StartFileDrag(const char* path, const OleCalls& ole)
{
    const detail::WideText widePath(path);
    if (widePath.IsEmpty())
        return false;
    detail::OleScope oleScope(ole);
    if (!oleScope.Initialized())
        return false;

    auto* data = new (std::nothrow) DragAndDropHelpers::DataObject(widePath.Get());
    auto* source = new (std::nothrow) DragAndDropHelpers::DropSource();
    HRESULT result = E_OUTOFMEMORY;
    if (data && source)
    {
        DWORD effect = DROPEFFECT_NONE;
        result = DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
    }
    if (data)
        data->Release();
    if (source)
        source->Release();
    return SUCCEEDED(result);
}

} // namespace plugkit::canvas::platform
