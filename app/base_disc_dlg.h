#pragma once

// CBaseDiscDlg: the common base of the wizard's main dialog and its three pages. It builds the
// dialog's controls from a dialog template (dialog_templates.h) and gives every wizard dialog
// the same look: icon 133, a white background, grey text and four Arial fonts the pages assign
// to their controls. Enter and Escape do nothing unless a dialog overrides OnOK / OnCancel, and
// the text colour of each control is chosen by the virtual OnCtlColor of the most derived dialog.
//
// UI thread only. The dialog owns its controls (Qt parent); a page is owned by its main dialog.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <vector>

#include "app/dialog_results.h"
#include "app/dialog_template.h"
#include "app/dialog_units.h"
#include "app/window_timers.h"

class CBaseDiscDlg : public QDialog {
  public:
    // `templateId` names one of the templates of dialog_templates.h; the window and its
    // controls come into being with Create or DoModal.
    explicit CBaseDiscDlg(int templateId, QWidget* parent = nullptr);
    ~CBaseDiscDlg() override;

    // Creates the controls from the template and runs OnInitDialog. With a parent the dialog
    // becomes a child widget of it (a page); without, a top-level window. Returns false when the
    // dialog already exists or OnInitDialog failed.
    bool Create(QWidget* parent);
    // Creates the dialog as a top-level window if need be, shows it modally and returns the
    // code it was ended with (EndDialog, IDCANCEL when closed otherwise).
    int DoModal();
    // Ends a modal dialog with `result`.
    void EndDialog(int result);
    bool IsCreated() const { return m_bCreated; }

    int TemplateId() const { return m_template.id; }
    const DialogTemplate& Template() const { return m_template; }
    DialogBaseUnits BaseUnits() const { return m_baseUnits; }

    // The first control with `id`, or null. Controls with id -1 are found by template index.
    QWidget* GetDlgItem(int id) const;
    template <class Control>
    Control* GetDlgItemAs(int id) const {
        return dynamic_cast<Control*>(GetDlgItem(id));
    }
    // Every control in template order (index i is the template's control i).
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    // The pixel rectangle of template control `index`, as laid out at creation.
    QRect TemplateControlRect(size_t index) const;

    // Text of a static, button, edit or combo box; nothing for other controls.
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    void ShowDlgItem(int id, bool show);
    // The name a screen reader gives control `id`: for a field, the words of its label; for a
    // picture, what it means.
    void SetDlgItemAccessibleName(int id, const QString& name);

    // Gives the keyboard focus to the first control a Tab would reach on this dialog (visible,
    // enabled, a tab stop), as a newly shown page needs. False when there is none.
    bool FocusFirstControl();

    // Gives a control a font and redraws it.
    static void SetControlFont(QWidget* control, const QFont& font);

    // Room for texts. The templates' rectangles were sized for English; a translation that needs
    // more lines than its static has gets them: the static grows to its wrapped text (never below
    // its template height) and every control that lies below it moves by as much, and so does
    // the dialog's bottom edge. English texts fit their templates, so nothing moves for them.
    void FitStaticText(QWidget* control);
    // Gives `control` `height` pixels; controls whose top lies at or below its bottom edge move
    // by the difference and the dialog's height follows (never below its template height).
    void SetControlHeight(QWidget* control, int height);
    // How much taller than its template (or than its parent made it) the dialog now is.
    int ExtraHeight() const { return m_nExtraHeight; }
    // Puts bitmap `bitmapId` into static control `id` (switching it to a bitmap static).
    void SetStaticBitmap(int id, int bitmapId);

    unsigned SetTimer(unsigned id, unsigned elapseMs) { return m_timers.SetTimer(id, elapseMs); }
    bool KillTimer(unsigned id) { return m_timers.KillTimer(id); }
    bool IsTimerRunning(unsigned id) const { return m_timers.IsTimerRunning(id); }

    // The colour a control's text is drawn in; the most derived dialog's OnCtlColor decides.
    QColor ControlTextColor(const QWidget& control) {
        return OnCtlColor(control, ControlId(control));
    }
    static int ControlId(const QWidget& control);

    // The colour the framework gives control text when a dialog does not choose one.
    static QColor DefaultTextColor() { return QColor(0, 0, 0); }
    static QColor GreyTextColor() { return QColor(102, 102, 102); }

  protected:
    // Called once the controls exist. The base sets the big and small icon and the white
    // background; every derived dialog calls it first. Returns true.
    virtual bool OnInitDialog();
    // Enter and Escape: nothing in the base.
    virtual void OnOK();
    virtual void OnCancel();
    // Text colour of `control` (its id given); the base: grey 0x666666 for every control.
    // Static texts are always drawn transparently on the white background.
    virtual QColor OnCtlColor(const QWidget& control, int controlId);
    // Child dialog `page` changed its height (its texts needed room); the base does nothing.
    virtual void OnChildDialogResized(CBaseDiscDlg& page);
    // A window timer of this dialog fired.
    virtual void OnTimer(unsigned id);
    // F1: the base does nothing and reports that it did not handle it.
    virtual bool OnHelpInfo();

    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The platform's close and Escape paths reach the dialog as reject(): both go to OnCancel.
    void reject() override;
    void accept() override;

    QIcon m_hIcon;
    QFont m_fontTitle;  // Arial 16 pixels bold
    QFont m_fontText;   // Arial 13 pixels
    QFont m_fontBold;   // Arial 13 pixels bold
    QFont m_fontList;   // Arial 13 pixels, default weight

  private:
    QWidget* CreateControl(const ControlTemplate& control);
    // Keeps the dialog as much taller than it was given as the controls' lowest edge lies
    // below the template's lowest edge; tells the parent dialog when that changed.
    void FollowControlsWithHeight();

    const DialogTemplate& m_template;
    DialogBaseUnits m_baseUnits;
    std::vector<QWidget*> m_controls;  // owned by this dialog as Qt children
    std::vector<QRect> m_templateRects;
    int m_nExtraHeight = 0;  // pixels the dialog grew by for its texts
    WindowTimers m_timers;
    bool m_bCreated = false;
};
