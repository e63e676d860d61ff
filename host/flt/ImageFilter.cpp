#include "flt/ImageFilter.h"

ImageFilter::ImageFilter() = default;
ImageFilter::~ImageFilter() = default;

int ImageFilter::ShowControl(HWND) { return 0; }
void ImageFilter::SetSource(Bitmap* source) { srcmap = source; }
void ImageFilter::SetForeground(Bitmap* foreground) { frgmap = foreground; }
void ImageFilter::SetMask(Bitmap* mask) { mskmap = mask; }
void ImageFilter::SetFilterInfo(ImageFilterInfo* info) { ifi = info; }
Interface* ImageFilter::Max() { return nullptr; }

int ImageFilter::Lerp(int a, int b, float amount) { return a + static_cast<int>(static_cast<float>(b - a) * amount); }

int ImageFilter::Lerp(int a, int b, int amount)
{
    return a + static_cast<int>((static_cast<long long>(b) - a) * amount / 100);
}

std::uint32_t ImageFilter::EvaluateConfigure() { return 0; }
int ImageFilter::LoadConfigure(void*) { return 0; }
int ImageFilter::SaveConfigure(void*) { return 0; }

int ImageFilter::CreatePreview(HWND, Bitmap**, int, int, int, float, Bitmap**, std::uint32_t) { return 0; }

std::uint32_t ImageFilter::ChannelsRequired() { return 0; }
