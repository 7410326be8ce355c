#include "ui/win32/CaptionFont.h"

#include "ui/MainWindowLayout.h"

namespace quarrow::win32 {

namespace {

// Room a push button's border and focus frame take from its caption.
constexpr int kButtonMargin = 8;
// Below this height (in pixels) text gets unreadable; stop shrinking.
constexpr LONG kSmallestHeight = 8;

LOGFONTW MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics,
                            0))
    return metrics.lfMessageFont;
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  return font;
}

// Whether every label and button caption fits its control in `font`.
bool CaptionsFit(HDC dc, HFONT font, int dpiX) {
  const HGDIOBJ old = SelectObject(dc, font);
  bool fit = true;
  for (const layout::Control& c : layout::kControls) {
    if (c.kind != layout::Kind::Label && c.kind != layout::Kind::Button)
      continue;
    int room = layout::TwipsToPixels(c.left + c.width, dpiX) -
               layout::TwipsToPixels(c.left, dpiX);
    if (c.kind == layout::Kind::Button) room -= kButtonMargin;
    // Measured as the controls draw it: "&&" shows as one "&".
    RECT extent{0, 0, 0, 0};
    DrawTextW(dc, c.text, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
    if (extent.right - extent.left > room) fit = false;
  }
  SelectObject(dc, old);
  return fit;
}

}  // namespace

HFONT CaptionFont(int dpiX) {
  LOGFONTW wanted = MessageFont();
  const HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectW(&wanted);
  // Heights are negative for the character height, positive for the cell.
  const LONG step = wanted.lfHeight < 0 ? 1 : -1;
  while (!CaptionsFit(dc, font, dpiX) &&
         (wanted.lfHeight < 0 ? -wanted.lfHeight : wanted.lfHeight) >
             kSmallestHeight) {
    DeleteObject(font);
    wanted.lfHeight += step;
    wanted.lfWidth = 0;
    font = CreateFontIndirectW(&wanted);
  }
  ReleaseDC(nullptr, dc);
  return font;
}

}  // namespace quarrow::win32
