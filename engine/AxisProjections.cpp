#include "engine/AxisCorners.h"
#include "engine/ImageWarper.h"

namespace {

void WarpOnto(ImageWarper& warper, const std::optional<QuadCorners>& corners)
{
    if (corners)
        warper.WarpToQuad((*corners)[0], (*corners)[1], (*corners)[2], (*corners)[3]);
}

}  // namespace

void ImageWarper::TurnAboutX(int pivotOffset, float angle, float perspective)
{
    WarpOnto(*this, CornersAboutX(width, height, pivotOffset, angle, perspective));
}

void ImageWarper::TurnAboutY(int pivotOffset, float angle, float perspective)
{
    WarpOnto(*this, CornersAboutY(width, height, pivotOffset, angle, perspective));
}

void ImageWarper::TurnAboutZ(int pivotOffset, float angle)
{
    WarpOnto(*this, CornersAboutZ(width, height, pivotOffset, angle));
}
