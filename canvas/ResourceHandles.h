#pragma once

#include "canvas/APIBitmap.h"

#include <memory>
#include <string>

namespace plugkit::canvas
{

namespace svg
{
struct Document;
struct Paint;
} // namespace svg

/// A control's view of a loaded bitmap: the back end's bitmap, its size in editor units at the
/// bitmap's scale (pixels / scale), its frame count and layout and the name it was loaded by.
/// It owns nothing: the bitmap lives in its `ICanvas`'s bitmap cache, so a handle is valid while
/// the editor that loaded it is open. An empty handle has no bitmap, zero sizes and no name.
class IBitmapHandle
{
public:
    IBitmapHandle() = default;
    IBitmapHandle(APIBitmap* bitmap, int nStates, bool framesAreHorizontal, const char* name)
        : mBitmap(bitmap)
        , mW(bitmap ? bitmap->GetWidth() / ScaleOf(*bitmap) : 0)
        , mH(bitmap ? bitmap->GetHeight() / ScaleOf(*bitmap) : 0)
        , mN(nStates)
        , mFramesAreHorizontal(framesAreHorizontal)
        , mName(bitmap && name ? name : "")
    {
    }

    bool IsValid() const { return mBitmap != nullptr; }
    APIBitmap* GetAPIBitmap() const { return mBitmap; }
    /// Width and height in editor units at the bitmap's scale.
    int W() const { return mW; }
    int H() const { return mH; }
    /// Frame count.
    int N() const { return mN; }
    bool GetFramesAreHorizontal() const { return mFramesAreHorizontal; }
    const char* GetResourceName() const { return mName.c_str(); }
    /// The resolution factor the pixels were made for (1 for an empty handle).
    int GetScale() const { return mBitmap ? mBitmap->GetScale() : 1; }
    float GetDrawScale() const { return mBitmap ? mBitmap->GetDrawScale() : 1.f; }

private:
    static int ScaleOf(const APIBitmap& bitmap)
    {
        return bitmap.GetScale() > 0 ? bitmap.GetScale() : 1;
    }

    APIBitmap* mBitmap = nullptr;
    int mW = 0;
    int mH = 0;
    int mN = 1;
    bool mFramesAreHorizontal = false;
    std::string mName;
};

/// A parsed SVG document, shared with the process-wide SVG cache: a handle keeps its document
/// alive even after the cache lets it go. Empty when loading failed.
class ISvgHandle
{
public:
    ISvgHandle() = default;
    explicit ISvgHandle(std::shared_ptr<const svg::Document> document)
        : mDocument(std::move(document))
    {
    }

    bool IsValid() const { return mDocument != nullptr; }
    const svg::Document* GetDocument() const { return mDocument.get(); }
    const std::shared_ptr<const svg::Document>& GetSharedDocument() const { return mDocument; }
    /// The document's size in pixels at the dpi it was parsed with; 0 for an empty handle.
    float W() const;
    float H() const;

private:
    std::shared_ptr<const svg::Document> mDocument;
};

} // namespace plugkit::canvas
