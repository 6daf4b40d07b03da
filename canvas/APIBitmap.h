#pragma once

namespace plugkit::canvas
{

/// A bitmap in the drawing back end's own storage (an image of its GL context, or a framebuffer
/// to draw into): `GetWidth` x `GetHeight` pixels made for the resolution factor `GetScale`, at
/// the draw scale `GetDrawScale`. Back ends derive from it; their destructor frees the image.
///
/// Ownership: every bitmap has exactly one owner, the `ICanvas` (back end) it was made for:
/// its bitmap cache, or the offscreen layer that draws into it. A bitmap never moves to another
/// back end, since its image belongs to that back end's GL context.
class APIBitmap
{
public:
    APIBitmap() = default;
    APIBitmap(int image, int width, int height, int scale, float drawScale)
        : mImage(image)
        , mWidth(width)
        , mHeight(height)
        , mScale(scale)
        , mDrawScale(drawScale)
    {
    }
    virtual ~APIBitmap() = default;
    APIBitmap(const APIBitmap&) = delete;
    APIBitmap& operator=(const APIBitmap&) = delete;

    /// The back end's image handle.
    int GetImage() const { return mImage; }
    int GetWidth() const { return mWidth; }
    int GetHeight() const { return mHeight; }
    int GetScale() const { return mScale; }
    float GetDrawScale() const { return mDrawScale; }

protected:
    void SetBitmap(int image, int width, int height, int scale, float drawScale)
    {
        mImage = image;
        mWidth = width;
        mHeight = height;
        mScale = scale;
        mDrawScale = drawScale;
    }

private:
    int mImage = 0;
    int mWidth = 0;
    int mHeight = 0;
    int mScale = 1;
    float mDrawScale = 1.f;
};

} // namespace plugkit::canvas
