// Holds the capture panel's place in the main window until the panel
// exists: an empty child dialog from the panel's template.  It has the
// panel's interface towards the main window (constructed without a parent,
// Create(template, parent), shown, placed), and Enter and Escape do nothing
// in it, as in the panel.
#pragma once

#include <afxwin.h>

class CPanelStandIn : public CDialog {
public:
    CPanelStandIn() = default;

protected:
    void OnOK() override {}
    void OnCancel() override {}
};
