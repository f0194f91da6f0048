#include "app/static_control.h"

#include <QFontMetrics>
#include <QPainter>

#include "app/dialog_template.h"

StaticControl::StaticControl(int controlId, std::uint32_t style, QWidget* parent)
    : QWidget(parent), m_controlId(controlId), m_style(style) {
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

void StaticControl::SetText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    update();
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
