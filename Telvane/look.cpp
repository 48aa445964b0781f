#include "look.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace {

// Installed by setup-deps and the package (fonts-liberation); narrow enough that every caption
// fits its fixed-width panel. Chinese glyphs come from the system's fallback font.
const char kUiFontFamily[] = "Liberation Sans";
constexpr int kUiFontPointSize = 9;
// The panel titles ask for the family the installation's PCs have; here it stands for the UI font.
const char kPanelTitleFamily[] = "Microsoft YaHei";

// A checked push button in the highlight colours, whatever its state otherwise.
template <typename Draw>
void asChecked(const QStyleOption* option, Draw draw) {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (button == nullptr || !(button->state & QStyle::State_On)) {
        draw(option);
        return;
    }
    QStyleOptionButton checked = *button;
    const QPalette::ColorGroup group =
        button->state & QStyle::State_Enabled ? QPalette::Active : QPalette::Disabled;
    checked.palette.setColor(QPalette::Button, button->palette.color(group, QPalette::Highlight));
    checked.palette.setColor(QPalette::ButtonText,
                             button->palette.color(group, QPalette::HighlightedText));
    draw(&checked);
}

}  // namespace

TelvaneStyle::TelvaneStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int TelvaneStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                              const QWidget* widget) const {
    switch (metric) {
        case PM_LayoutLeftMargin:
        case PM_LayoutTopMargin:
        case PM_LayoutRightMargin:
        case PM_LayoutBottomMargin:
            return kLayoutMarginPx;
        case PM_LayoutHorizontalSpacing:
        case PM_LayoutVerticalSpacing:
            return kLayoutSpacingPx;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void TelvaneStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    if (element != PE_PanelButtonCommand) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    asChecked(option, [&](const QStyleOption* drawn) {
        QProxyStyle::drawPrimitive(element, drawn, painter, widget);
    });
}

void TelvaneStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (element != CE_PushButtonLabel) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    asChecked(option, [&](const QStyleOption* drawn) {
        QProxyStyle::drawControl(element, drawn, painter, widget);
    });
}

QFont telvaneFont() {
    return QFont(QString::fromLatin1(kUiFontFamily), kUiFontPointSize);
}

void applyTelvaneLook(QApplication& application) {
    application.setStyle(new TelvaneStyle);
    QFont::insertSubstitution(QString::fromLatin1(kPanelTitleFamily),
                              QString::fromLatin1(kUiFontFamily));
    QApplication::setFont(telvaneFont());
}
