#include "app/static_control.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QPainter>

#include "app/dialog_template.h"

namespace {

// What a screen reader is told about a static: a text with its words as its name, or a picture
// named after what it means (the name its dialog gives it).
class AccessibleStatic : public QAccessibleWidget {
  public:
    explicit AccessibleStatic(StaticControl* control)
        : QAccessibleWidget(control, RoleOf(*control)) {}

    QAccessible::Role role() const override { return RoleOf(Control()); }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            const QString name = Control().accessibleName();
            if (!name.isEmpty() || (Control().Style() & kStaticBitmap)) {
                return name;
            }
            return Control().Text();
        }
        return QAccessibleWidget::text(kind);
    }

  private:
    static QAccessible::Role RoleOf(const StaticControl& control) {
        return (control.Style() & kStaticBitmap) ? QAccessible::Graphic : QAccessible::StaticText;
    }
    const StaticControl& Control() const { return *static_cast<StaticControl*>(widget()); }
};

QAccessibleInterface* StaticAccessibilityFactory(const QString&, QObject* object) {
    if (auto* control = dynamic_cast<StaticControl*>(object)) {
        return new AccessibleStatic(control);  // owned by Qt's accessibility cache
    }
    return nullptr;
}

void TellScreenReaders(StaticControl& control) {
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(&control, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

}  // namespace

StaticControl::StaticControl(int controlId, std::uint32_t style, QWidget* parent)
    : QLabel(parent), m_controlId(controlId), m_style(style) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&StaticAccessibilityFactory);
        return true;
    }();
    (void)factoryInstalled;
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

void StaticControl::SetText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    update();
    TellScreenReaders(*this);
}

void StaticControl::SetBitmap(const QPixmap& bitmap) {
    m_bitmap = bitmap;
    m_style |= kStaticBitmap;
    if (!(m_style & kStaticCenterImage) && !bitmap.isNull()) {
        resize(bitmap.deviceIndependentSize().toSize());
    }
    update();
}

QColor StaticControl::TextColor() const {
    return m_colorSource ? m_colorSource(*this) : QColor(Qt::black);
}

void StaticControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_style & kStaticBitmap) {
        if (m_bitmap.isNull()) {
            return;
        }
        const QSize size = m_bitmap.deviceIndependentSize().toSize();
        QPoint origin(0, 0);
        if (m_style & kStaticCenterImage) {
            origin = QPoint((width() - size.width()) / 2, (height() - size.height()) / 2);
        }
        painter.drawPixmap(origin, m_bitmap);
        return;
    }
    if (m_text.isEmpty()) {
        return;
    }
    painter.setPen(TextColor());
    painter.setFont(font());
    painter.drawText(rect(), TextFlags(), m_text);
}

int StaticControl::TextFlags() const {
    int flags = Qt::TextWordWrap;
    if (m_style & kStaticCenter) {
        flags |= Qt::AlignHCenter;
    } else if (m_style & kStaticRight) {
        flags |= Qt::AlignRight;
    } else {
        flags |= Qt::AlignLeft;
    }
    // A vertically centred static shows one line in the middle of its rectangle.
    flags |= (m_style & kStaticCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
    return flags;
}

QSize StaticControl::WrappedTextSize(int width) const {
    if ((m_style & kStaticBitmap) || m_text.isEmpty()) {
        return {};
    }
    const QFontMetrics metrics(font());
    // As tall as any text may need; only the width limits the lines.
    const QRect bounds(0, 0, width, 1 << 20);
    return metrics.boundingRect(bounds, TextFlags() & ~Qt::AlignVCenter, m_text).size();
}
