#include "app/base_disc_dlg.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

#include "app/artwork.h"
#include "app/dialog_templates.h"
#include "app/static_control.h"

namespace {

constexpr const char* kControlIdProperty = "controlId";

// The wizard's fonts are Arial with a character height in pixels (not a cell height).
QFont ArialFont(int pixelHeight, QFont::Weight weight) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setWeight(weight);
    return font;
}

}  // namespace

CBaseDiscDlg::CBaseDiscDlg(int templateId, QWidget* parent)
    : QDialog(parent),
      m_hIcon(LoadIconResource(IDI_DRIVESCOUT)),
      m_fontTitle(ArialFont(16, QFont::Bold)),
      m_fontText(ArialFont(13, QFont::Normal)),
      m_fontBold(ArialFont(13, QFont::Bold)),
      m_fontList(ArialFont(13, QFont::Normal)),
      m_template(GetDialogTemplate(templateId)),
      m_timers([this](unsigned id) { OnTimer(id); }) {}

CBaseDiscDlg::~CBaseDiscDlg() = default;

bool CBaseDiscDlg::Create(QWidget* parent) {
    if (m_bCreated) {
        return false;
    }
    if (m_template.frame == DialogFrame::Child) {
        setParent(parent, Qt::Widget);
    } else {
        setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint);
        setWindowTitle(QString::fromUtf8(m_template.caption));
    }
    const QFont dialogFont = DialogFont(m_template);
    setFont(dialogFont);
    m_baseUnits = MeasureBaseUnits(dialogFont);
    const QSize size = DialogRectToPixels({0, 0, m_template.cx, m_template.cy}, m_baseUnits).size();
    if (m_template.frame == DialogFrame::Child) {
        resize(size);
    } else {
        setFixedSize(size);
    }
    for (const ControlTemplate& control : m_template.controls) {
        m_controls.push_back(CreateControl(control));
    }
    m_bCreated = true;
    return OnInitDialog();
}

QWidget* CBaseDiscDlg::CreateControl(const ControlTemplate& control) {
    QWidget* widget = nullptr;
    const std::uint32_t style = control.style;
    switch (control.controlClass) {
        case ControlClass::Static: {
            auto* label = new StaticControl(control.id, style, this);
            label->SetText(QString::fromUtf8(control.text));
            label->SetColorSource(
                [this](const StaticControl& self) { return ControlTextColor(self); });
            widget = label;
            break;
        }
        case ControlClass::Button: {
            auto* button = new QPushButton(QString::fromUtf8(control.text), this);
            // Enter on a focused button reaches the dialog (OnOK) instead of clicking it.
            button->setAutoDefault(false);
            button->setDefault(false);
            widget = button;
            break;
        }
        case ControlClass::Edit:
            if (style & kEditMultiline) {
                auto* edit = new QPlainTextEdit(QString::fromUtf8(control.text), this);
                edit->setReadOnly(style & kEditReadOnly);
                edit->setFrameShape((style & kStyleBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
                // The text is painted by the viewport; its paints pick up the colour too.
                edit->viewport()->installEventFilter(this);
                widget = edit;
            } else {
                auto* edit = new QLineEdit(QString::fromUtf8(control.text), this);
                edit->setReadOnly(style & kEditReadOnly);
                edit->setFrame(style & kStyleBorder);
                if (style & kEditPassword) {
                    edit->setEchoMode(QLineEdit::Password);
                }
                widget = edit;
            }
            break;
        case ControlClass::ListView: {
            auto* list = new QTreeWidget(this);
            list->setColumnCount(1);
            list->setHeaderHidden(style & kListNoColumnHeader);
            list->setRootIsDecorated(false);
            list->setFrameShape((style & kStyleBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
            widget = list;
            break;
        }
        case ControlClass::ProgressBar: {
            auto* progress = new QProgressBar(this);
            progress->setTextVisible(false);
            progress->setRange(0, 100);
            progress->setValue(0);
            widget = progress;
            break;
        }
        case ControlClass::ComboBox: {
            auto* combo = new QComboBox(this);
            combo->setEditable(false);
            widget = combo;
            break;
        }
    }
    widget->setProperty(kControlIdProperty, control.id);
    widget->setObjectName(QStringLiteral("control-%1").arg(control.id));
    const QRect rect = DialogRectToPixels(control.rect, m_baseUnits);
    m_templateRects.push_back(rect);
    widget->setGeometry(rect);
    if (control.controlClass == ControlClass::ComboBox) {
        // A drop-down list's template height is that of its open list; the closed box is as
        // high as its font needs.
        widget->resize(rect.width(), widget->sizeHint().height());
    }
    if (control.controlClass != ControlClass::Static) {
        widget->setFocusPolicy((style & kStyleTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
        widget->installEventFilter(this);
    }
    if (control.bitmapId != 0) {
        if (auto* label = dynamic_cast<StaticControl*>(widget)) {
            label->SetBitmap(LoadBitmapResource(control.bitmapId));
        }
    }
    widget->setVisible(!(style & kStyleHidden));
    return widget;
}

int CBaseDiscDlg::DoModal() {
    if (!m_bCreated && !Create(nullptr)) {
        return -1;
    }
    return exec();
}

void CBaseDiscDlg::EndDialog(int result) {
    QDialog::done(result);
}

int CBaseDiscDlg::ControlId(const QWidget& control) {
    const QVariant id = control.property(kControlIdProperty);
    return id.isValid() ? id.toInt() : IDC_STATIC;
}

QWidget* CBaseDiscDlg::GetDlgItem(int id) const {
    for (QWidget* control : m_controls) {
        if (ControlId(*control) == id) {
            return control;
        }
    }
    return nullptr;
}

QRect CBaseDiscDlg::TemplateControlRect(size_t index) const {
    return index < m_templateRects.size() ? m_templateRects[index] : QRect();
}

void CBaseDiscDlg::SetDlgItemText(int id, const QString& text) {
    QWidget* control = GetDlgItem(id);
    if (auto* label = dynamic_cast<StaticControl*>(control)) {
        label->SetText(text);
        FitStaticText(label);
    } else if (auto* button = dynamic_cast<QPushButton*>(control)) {
        button->setText(text);
    } else if (auto* line = dynamic_cast<QLineEdit*>(control)) {
        line->setText(text);
    } else if (auto* edit = dynamic_cast<QPlainTextEdit*>(control)) {
        edit->setPlainText(text);
    } else if (auto* combo = dynamic_cast<QComboBox*>(control)) {
        combo->setCurrentText(text);
    }
}

QString CBaseDiscDlg::GetDlgItemText(int id) const {
    QWidget* control = GetDlgItem(id);
    if (auto* label = dynamic_cast<StaticControl*>(control)) {
        return label->Text();
    }
    if (auto* button = dynamic_cast<QPushButton*>(control)) {
        return button->text();
    }
    if (auto* line = dynamic_cast<QLineEdit*>(control)) {
        return line->text();
    }
    if (auto* edit = dynamic_cast<QPlainTextEdit*>(control)) {
        return edit->toPlainText();
    }
    if (auto* combo = dynamic_cast<QComboBox*>(control)) {
        return combo->currentText();
    }
    return {};
}

void CBaseDiscDlg::ShowDlgItem(int id, bool show) {
    if (QWidget* control = GetDlgItem(id)) {
        control->setVisible(show);
    }
}

void CBaseDiscDlg::SetDlgItemAccessibleName(int id, const QString& name) {
    if (QWidget* control = GetDlgItem(id);
        control != nullptr && control->accessibleName() != name) {
        control->setAccessibleName(name);
    }
}

bool CBaseDiscDlg::FocusFirstControl() {
    // The focus chain runs in tab order through the whole window; this dialog's part of it
    // follows the dialog itself.
    for (QWidget* next = nextInFocusChain(); next != nullptr && next != this;
         next = next->nextInFocusChain()) {
        if (isAncestorOf(next) && next->isVisibleTo(this) && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

void CBaseDiscDlg::SetControlFont(QWidget* control, const QFont& font) {
    if (control != nullptr) {
        control->setFont(font);
        control->update();
        if (auto* dialog = dynamic_cast<CBaseDiscDlg*>(control->parentWidget())) {
            dialog->FitStaticText(control);  // the text's lines follow the font
        }
    }
}

void CBaseDiscDlg::FitStaticText(QWidget* control) {
    auto* label = dynamic_cast<StaticControl*>(control);
    if (label == nullptr || (label->Style() & kStaticBitmap)) {
        return;
    }
    const auto at = std::find(m_controls.begin(), m_controls.end(), control);
    if (at == m_controls.end()) {
        return;
    }
    const int templateHeight = m_templateRects[size_t(at - m_controls.begin())].height();
    const int textHeight = label->WrappedTextSize(label->width()).height();
    SetControlHeight(label, std::max(templateHeight, textHeight));
}

void CBaseDiscDlg::SetControlHeight(QWidget* control, int height) {
    if (control == nullptr || height == control->height()) {
        return;
    }
    const QRect before = control->geometry();
    const int change = height - before.height();
    control->resize(before.width(), height);
    const int edge = before.y() + before.height();
    for (QWidget* other : m_controls) {
        if (other != control && other->y() >= edge) {
            other->move(other->x(), other->y() + change);
        }
    }
    FollowControlsWithHeight();
}

void CBaseDiscDlg::FollowControlsWithHeight() {
    int templateBottom = 0;
    for (const QRect& rect : m_templateRects) {
        templateBottom = std::max(templateBottom, rect.y() + rect.height());
    }
    int bottom = 0;
    for (const QWidget* control : m_controls) {
        bottom = std::max(bottom, control->y() + control->height());
    }
    const int extra = std::max(0, bottom - templateBottom);
    if (extra == m_nExtraHeight) {
        return;
    }
    const int height = this->height() - m_nExtraHeight + extra;
    m_nExtraHeight = extra;
    if (m_template.frame == DialogFrame::Child) {
        resize(width(), height);
        if (auto* parent = dynamic_cast<CBaseDiscDlg*>(parentWidget())) {
            parent->OnChildDialogResized(*this);
        }
    } else {
        setFixedSize(width(), height);
    }
}

void CBaseDiscDlg::SetStaticBitmap(int id, int bitmapId) {
    if (auto* label = dynamic_cast<StaticControl*>(GetDlgItem(id))) {
        label->SetBitmap(LoadBitmapResource(bitmapId));
    }
}

bool CBaseDiscDlg::OnInitDialog() {
    // The same icon as big and small icon: title bar and task switcher.
    setWindowIcon(m_hIcon);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);
    update();
    return true;
}

void CBaseDiscDlg::OnOK() {}

void CBaseDiscDlg::OnCancel() {}

QColor CBaseDiscDlg::OnCtlColor(const QWidget&, int) {
    return GreyTextColor();
}

void CBaseDiscDlg::OnChildDialogResized(CBaseDiscDlg&) {}

void CBaseDiscDlg::OnTimer(unsigned) {}

bool CBaseDiscDlg::OnHelpInfo() {
    return false;
}

void CBaseDiscDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                event->accept();
                OnOK();
                return;
            }
            break;
        case Qt::Key_Escape:
            event->accept();
            OnCancel();
            return;
        case Qt::Key_F1:
            event->accept();
            OnHelpInfo();
            return;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

bool CBaseDiscDlg::eventFilter(QObject* watched, QEvent* event) {
    // Once the keyboard is used the focused control shows it, as on other desktops: the style
    // draws focus frames only in windows marked so.
    if (event->type() == QEvent::KeyPress) {
        if (QWidget* top = window(); !top->testAttribute(Qt::WA_KeyboardFocusChange)) {
            top->setAttribute(Qt::WA_KeyboardFocusChange);
            if (auto* control = qobject_cast<QWidget*>(watched)) {
                control->update();
            }
        }
    }
    // Edit and combo boxes take their text colour from OnCtlColor each time they paint, like
    // the statics; the palette only changes when the colour does, so this does not repaint
    // in a loop.
    if (event->type() == QEvent::Paint) {
        auto* control = qobject_cast<QWidget*>(watched);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(watched->parent());
            edit != nullptr && edit->viewport() == watched) {
            control = edit;
        }
        const bool coloured = qobject_cast<QLineEdit*>(control) != nullptr ||
                              qobject_cast<QPlainTextEdit*>(control) != nullptr ||
                              qobject_cast<QComboBox*>(control) != nullptr;
        if (coloured) {
            const QColor colour = ControlTextColor(*control);
            QPalette palette = control->palette();
            if (palette.color(QPalette::Text) != colour) {
                palette.setColor(QPalette::Text, colour);
                palette.setColor(QPalette::ButtonText, colour);
                control->setPalette(palette);
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CBaseDiscDlg::reject() {
    OnCancel();
}

void CBaseDiscDlg::accept() {
    OnOK();
}
