#pragma once

// The program's look: Qt's Fusion style with compact default layout margins and spacings and a
// compact sans font, so that the whole window fits a 1920 x 1080 screen, checked push buttons
// drawn in the highlight colour, so that a chosen channel is plain at a glance, and the keyboard's
// focus framed in dark and light, so that it shows on checked buttons too. The window's own
// sizes, spacings and margins are its layout's; only the style's defaults change.

#include <QProxyStyle>

class QApplication;

class TelvaneStyle : public QProxyStyle {
  public:
    // The default margin of a layout and the default spacing between its items, in pixels.
    static constexpr int kLayoutMarginPx = 4;
    static constexpr int kLayoutSpacingPx = 3;

    TelvaneStyle();

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
};

// The UI font: compact and sans, with the panel titles' family mapped onto it.
QFont telvaneFont();

// Style and font for the whole application; before the first window is built.
void applyTelvaneLook(QApplication& application);
