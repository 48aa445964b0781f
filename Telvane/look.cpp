#include "look.h"

#include <QApplication>
#include <QPainter>
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

// The keyboard's focus on push buttons, combo boxes and fields: a dark line around `rect` and a
// light one just inside it, so that one of the two stands out on whatever the control is filled
// with: a checked button's highlight as well as a plain button's grey or a field's white. Fusion's
// own focus frame, a faint highlight, is lost on a checked button.
void drawKeyboardFocus(const QStyleOption& option, const QRect& rect, QPainter* painter) {
    if (!(option.state & QStyle::State_HasFocus) ||
        !(option.state & QStyle::State_KeyboardFocusChange)) {
        return;
    }
    painter->save();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(option.palette.color(QPalette::Shadow), 1));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setPen(QPen(option.palette.color(QPalette::Light), 1));
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    painter->restore();
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
    switch (element) {
        case PE_PanelButtonCommand:
            asChecked(option, [&](const QStyleOption* drawn) {
                QProxyStyle::drawPrimitive(element, drawn, painter, widget);
            });
            return;
        case PE_FrameLineEdit:
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            drawKeyboardFocus(*option, option->rect.adjusted(1, 1, -1, -1), painter);
            return;
        default:
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
    }
}

void TelvaneStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (element != CE_PushButtonLabel) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    asChecked(option, [&](const QStyleOption* drawn) {
        QProxyStyle::drawControl(element, drawn, painter, widget);
        drawKeyboardFocus(*drawn, drawn->rect, painter);
    });
}

void TelvaneStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox) {
        drawKeyboardFocus(*option, option->rect.adjusted(1, 1, -1, -1), painter);
    }
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
