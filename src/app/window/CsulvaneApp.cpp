#include "app/window/CsulvaneApp.h"

#include "app/window/CsulvaneDlg.h"
#include "platform/base/Locale.h"
#include "ui/CommonUtil.h"
#include "ui/ScaleFonts.h"

namespace orv {

void SetUpApplication() {
    SetNumericLocaleC();
    InstallQtTranslation();
}

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
