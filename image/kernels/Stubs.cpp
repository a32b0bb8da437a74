// Placeholders until the kernels land.
#include "image/kernels/Compositing.h"
#include "image/kernels/GaussianRecBlur.h"
#include "image/kernels/GeneralBrush.h"
#include "image/kernels/QuickBitmap.h"

void CGaussianRecBlur::Blur(uint8_t*, int, int, double) {}
bool CGeneralBrush::Build() { return false; }
bool CQuickBitmap::Create(int, int) { return false; }
bool CQuickBitmap::SetFromRGB(const uint8_t*, int, int) { return false; }
void CQuickBitmap::Release() { m_pixels.reset(); }
bool CQuickBitmap8::Create(int, int) { return false; }
void CQuickBitmap8::Release() { m_pixels.reset(); }
void FeatherEdges(uint8_t*, int, int, int) {}
void SampleBicubic(const uint8_t*, int, int, double, double, int, uint8_t out[4]) {
  out[0] = out[1] = out[2] = out[3] = 0;
}
void ExtractRotatedSquare(const uint8_t*, int, int, int, int, int, double, uint8_t*) {}
void RenderRotatedOverlay(const uint8_t*, int, int, int, int, float, const uint8_t*, int, int,
                          uint8_t*, int, int, int, int) {}
