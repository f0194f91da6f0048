// Draws the wizard's artwork and writes it as PNG files into a folder (by default
// resources/artwork of the source tree). The PNG files are kept in the repository; run this
// tool again after changing a drawing:
//   build/drivescout-artwork resources/artwork
// The logo's word mark uses Liberation Sans (Debian fonts-liberation2).

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <cstdio>
#include <functional>

namespace {

const QColor kTeal(16, 155, 156);      // the list rows' colour
const QColor kDarkTeal(10, 104, 112);  //
const QColor kGreen(115, 190, 42);     // the success colour
const QColor kRed(190, 18, 17);        // the error colour
const QColor kGrey(102, 102, 102);     // the text colour
const QColor kSilver(214, 219, 222);
const QColor kSilverDark(150, 158, 163);

using Drawing = std::function<void(QPainter&, double w, double h)>;

// Draws `draw` on a w x h canvas into `name`, `scale` times as many pixels each way (a second
// density of the same picture for screens that show 2 pixels per point).
bool Save(const QString& folder, const QString& name, int w, int h, const Drawing& draw,
          int scale = 1) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter, w, h);
    }
    const QString path = QDir(folder).filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A NAS box seen from the front: a rounded silver case with two drive bays and a status light.
void DrawNasBox(QPainter& p, const QRectF& r, bool withBays) {
    const double radius = r.width() * 0.12;
    QLinearGradient caseShade(r.topLeft(), r.bottomLeft());
    caseShade.setColorAt(0, QColor(250, 251, 252));
    caseShade.setColorAt(1, kSilver);
    p.setPen(QPen(kSilverDark, std::max(1.0, r.width() / 24)));
    p.setBrush(caseShade);
    p.drawRoundedRect(r, radius, radius);
    if (withBays) {
        const double bayH = r.height() * 0.16;
        for (int i = 0; i < 2; ++i) {
            const QRectF bay(r.left() + r.width() * 0.14, r.top() + r.height() * (0.22 + i * 0.24),
                             r.width() * 0.72, bayH);
            p.setPen(Qt::NoPen);
            p.setBrush(kSilverDark);
            p.drawRoundedRect(bay, bayH / 3, bayH / 3);
        }
    }
    const double led = std::max(1.5, r.width() * 0.09);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.5, r.bottom() - r.height() * 0.16), led, led);
}

// The application icon: a teal tile with a NAS box and a magnifying glass over its corner.
void DrawAppIcon(QPainter& p, double w, double h) {
    const QRectF tile(w * 0.03, h * 0.03, w * 0.94, h * 0.94);
    QLinearGradient tileShade(tile.topLeft(), tile.bottomRight());
    tileShade.setColorAt(0, kTeal.lighter(120));
    tileShade.setColorAt(1, kDarkTeal);
    p.setPen(Qt::NoPen);
    p.setBrush(tileShade);
    p.drawRoundedRect(tile, w * 0.2, h * 0.2);
    DrawNasBox(p, QRectF(w * 0.2, h * 0.16, w * 0.42, h * 0.62), w >= 24);
    // The magnifying glass.
    const QPointF centre(w * 0.64, h * 0.6);
    const double lens = w * 0.17;
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.2, w * 0.085), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(lens * 0.7, lens * 0.7), QPointF(w * 0.86, h * 0.84));
    p.setPen(QPen(Qt::white, std::max(1.0, w * 0.05)));
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(centre, lens, lens);
}

// The maker's logo: a small tile with the NAS box and a word mark drawn as shapes.
void DrawLogo(QPainter& p, double w, double h) {
    const QRectF mark(1, 1, h - 2, h - 2);
    QLinearGradient tileShade(mark.topLeft(), mark.bottomRight());
    tileShade.setColorAt(0, kTeal.lighter(120));
    tileShade.setColorAt(1, kDarkTeal);
    p.setPen(Qt::NoPen);
    p.setBrush(tileShade);
    p.drawRoundedRect(mark, 7, 7);
    DrawNasBox(p, QRectF(mark.left() + 9, mark.top() + 6, mark.width() - 18, mark.height() - 12),
               true);
    // The word mark of the product line.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    const QString name = QStringLiteral("Homevault");
    for (int size = 18; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(name) <= w - h - 5) {
            break;
        }
    }
    p.setFont(font);
    p.setPen(kDarkTeal);
    p.drawText(QRectF(h + 4, 0, w - h - 4, h * 0.62), Qt::AlignLeft | Qt::AlignBottom, name);
    font.setPixelSize(9);
    font.setBold(false);
    p.setFont(font);
    p.setPen(kGrey);
    p.drawText(QRectF(h + 5, h * 0.62, w - h - 5, h * 0.38), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("network storage"));
}

void DrawCheck(QPainter& p, double w, double h) {
    QPainterPath tick;
    tick.moveTo(w * 0.12, h * 0.55);
    tick.lineTo(w * 0.4, h * 0.82);
    tick.lineTo(w * 0.9, h * 0.18);
    p.setPen(QPen(kGreen, w * 0.18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void DrawCross(QPainter& p, double w, double h) {
    p.setPen(QPen(kRed, w * 0.2, Qt::SolidLine, Qt::RoundCap));
    const double top = (h - w) / 2;  // a square cross, centred in the taller bitmap
    p.drawLine(QPointF(w * 0.18, top + w * 0.18), QPointF(w * 0.82, top + w * 0.82));
    p.drawLine(QPointF(w * 0.82, top + w * 0.18), QPointF(w * 0.18, top + w * 0.82));
}

void DrawExclamation(QPainter& p, double w, double h) {
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawRect(QRectF(0, 0, w, h * 0.66));
    p.drawRect(QRectF(0, h - w + 1, w, w - 1));
}

void DrawDevice(QPainter& p, double w, double h) {
    DrawNasBox(p, QRectF(w * 0.2, h * 0.05, w * 0.6, h * 0.9), true);
}

// A network drive: a flat silver drive with a green light, on a short cable to a network line.
void DrawDrive(QPainter& p, double w, double h) {
    const QRectF body(w * 0.06, h * 0.08, w * 0.88, h * 0.5);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(250, 251, 252));
    shade.setColorAt(1, kSilver);
    p.setPen(QPen(kSilverDark, 1));
    p.setBrush(shade);
    p.drawRoundedRect(body, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(kSilverDark);
    p.drawRect(QRectF(body.left() + 4, body.center().y() - 1, body.width() * 0.5, 2));
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(body.right() - 5, body.center().y()), 2, 2);
    p.setPen(QPen(kDarkTeal, 2));
    p.drawLine(QPointF(w / 2, body.bottom()), QPointF(w / 2, h * 0.86));
    p.drawLine(QPointF(w * 0.14, h * 0.88), QPointF(w * 0.86, h * 0.88));
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkTeal);
    p.drawRect(QRectF(w / 2 - 3, h * 0.78, 6, 5));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    bool ok = true;
    for (int size : {256, 128, 64, 48, 32, 24, 16}) {
        ok &= Save(folder, QStringLiteral("icon-%1.png").arg(size), size, size, DrawAppIcon);
    }
    struct Bitmap {
        const char* name;
        int w;
        int h;
        Drawing draw;
    };
    const Bitmap bitmaps[] = {
        {"logo", 111, 36, DrawLogo},    {"check", 22, 21, DrawCheck},
        {"cross", 21, 26, DrawCross},   {"exclamation", 4, 13, DrawExclamation},
        {"device", 20, 20, DrawDevice}, {"drive", 36, 26, DrawDrive},
    };
    for (const Bitmap& bitmap : bitmaps) {
        const QString name = QString::fromLatin1(bitmap.name);
        ok &= Save(folder, name + QStringLiteral(".png"), bitmap.w, bitmap.h, bitmap.draw);
        ok &= Save(folder, name + QStringLiteral("@2x.png"), bitmap.w, bitmap.h, bitmap.draw, 2);
    }
    return ok ? 0 : 1;
}
