#pragma once

// CDriveScoutDlg: the wizard's one top-level dialog (template 150). It shows the logo and a
// header line naming the current step, and hosts the three pages in its page area, exactly one
// visible at a time. The pages move the wizard on through the three page-switch operations.
// Closing the window ends the wizard with IDCANCEL; the done page ends it with IDOK.
//
// UI thread only. The dialog owns its pages; each page keeps a pointer back to it.

#include <array>
#include <memory>
#include <vector>

#include "app/base_disc_dlg.h"
#include "sdk/LBString.h"

class CDeviceDiscDlg;
class CDeviceLoginDlg;
class CDiscDoneDlg;

class CDriveScoutDlg : public CBaseDiscDlg {
  public:
    explicit CDriveScoutDlg(QWidget* parent = nullptr);
    ~CDriveScoutDlg() override;

    // Header "<title>: Discover"; the discovery page shown as it was left.
    void ShowDiscoveryPage();
    // Header "<title>: Sign in"; the sign-in page shows `name` as its device line and `users`
    // in its user list.
    void ShowSignInPage(const LBString& name, const std::vector<LBString>& users);
    // Header "<title>: Assign"; the done page filled from g_NasContext.
    void ShowDonePage();
    // The header line in the title font.
    void SetHeaderText(const LBString& text);

    // The pages (null before OnInitDialog).
    CDeviceDiscDlg* DiscoveryPage() const { return m_pDiscoveryPage.get(); }
    CDeviceLoginDlg* SignInPage() const { return m_pSignInPage.get(); }
    CDiscDoneDlg* DonePage() const { return m_pDonePage.get(); }
    // The rectangle the pages are placed on, in this dialog's client coordinates.
    QRect PageAreaRect() const;

  protected:
    bool OnInitDialog() override;
    // The standard dialog behaviour: the window's close box and Escape end the wizard.
    void OnOK() override;
    void OnCancel() override;
    // Grey for the header line, the framework's colour for everything else.
    QColor OnCtlColor(const QWidget& control, int controlId) override;
    // F1 does nothing.
    bool OnHelpInfo() override;

    // A page grew or shrank for its texts: the page area (and with it the window) follows the
    // tallest page.
    void OnChildDialogResized(CBaseDiscDlg& page) override;

  private:
    // The three pages, in the order the wizard shows them.
    std::array<CBaseDiscDlg*, 3> Pages() const;
    void LayOutPages();
    void ShowOnly(CBaseDiscDlg* page, const char* snapshotStep);

    std::unique_ptr<CDeviceDiscDlg> m_pDiscoveryPage;
    std::unique_ptr<CDeviceLoginDlg> m_pSignInPage;
    std::unique_ptr<CDiscDoneDlg> m_pDonePage;
    int m_nPageAreaHeight = 0;  // the template's page area, in pixels; 0 until the pages exist
};
