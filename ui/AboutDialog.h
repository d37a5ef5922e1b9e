#pragma once
// The version dialog of the system menu's About item: the icon, the version
// line, the legal notice and a link to the maker's web page.
#include <string>

#include "framework/Dialog.h"
#include "ui/HyperlinkLabel.h"

class AboutDialog : public CDialog {
  public:
    AboutDialog();
    ~AboutDialog() override = default;

    HyperlinkLabel m_linkWeb;
    std::string m_strLegal;
    std::string m_strVersion;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
};

// ProductVersion and LegalCopyright of the running program's version
// resource, each from the first translation that holds it; an output whose
// value is not found keeps what it held.
void ReadVersionInfo(std::string& version, std::string& legal);
