#pragma once
// Colours as the components store them: 32 bits, red in the low byte, green in the second,
// blue in the third (0x00BBGGRR). They become QColor only where the canvas draws.
#include <QColor>
#include <cstdint>

namespace framework {

using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// The top byte is ignored: only the three colour bytes are drawn.
inline QColor ColorToQColor(TColor color) {
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

inline TColor QColorToColor(const QColor& color) {
  return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

}  // namespace framework
