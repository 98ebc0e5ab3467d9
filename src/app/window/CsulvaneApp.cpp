#include "app/window/CsulvaneApp.h"

#include "app/window/CsulvaneDlg.h"
#include "ui/ScaleFonts.h"

namespace orv {

BOOL CsulvaneApp::InitInstance() {
    {
        CsulvaneDlg dlg;
        dlg.OnInitDialog();
        // A window whose start-up failed has said so; it does not stay up without panes.
        if (!dlg.IsInitFailed()) {
            dlg.show();
            dlg.exec();
        }
    }
    DeleteSharedFonts();
    return FALSE;
}

}  // namespace orv
