#pragma once

// A static control of a dialog template: text or a bitmap drawn straight onto the dialog's
// background (no box of its own), in the colour its dialog chooses each time it paints. Screen
// readers see a text by its words and a bitmap by its accessible name (what it means), which
// its dialog sets. UI
// thread only; owned by its dialog through Qt's parent.

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>

// A QLabel only so that a field can name it as its label (setBuddy): screen readers on this
// platform read a field's label through that tie. It paints itself; QLabel's text stays empty.
class StaticControl : public QLabel {
  public:
    using ColorSource = std::function<QColor(const StaticControl&)>;

    StaticControl(int controlId, std::uint32_t style, QWidget* parent);

    int ControlId() const { return m_controlId; }
    std::uint32_t Style() const { return m_style; }

    void SetText(const QString& text);
    const QString& Text() const { return m_text; }

    // Shows `bitmap` and switches the control to a bitmap static. Unless the control centres its
    // image, it takes the bitmap's size with its top-left corner kept, as the platform does.
    void SetBitmap(const QPixmap& bitmap);
    const QPixmap& Bitmap() const { return m_bitmap; }

    // The size the text takes when wrapped at words to `width` pixels in the control's font and
    // alignment (what paintEvent draws); an empty size for a bitmap static or an empty text.
    QSize WrappedTextSize(int width) const;

    // Asked for the text colour at every paint (the dialog's OnCtlColor).
    void SetColorSource(ColorSource source) { m_colorSource = std::move(source); }
    QColor TextColor() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int TextFlags() const;

    int m_controlId;
    std::uint32_t m_style;
    QString m_text;
    QPixmap m_bitmap;
    ColorSource m_colorSource;
};
